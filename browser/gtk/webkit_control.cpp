#include "browser/gtk/webkit_control.h"

#include <filesystem>
#include <memory>

#include "browser/gtk/gtk_log.h"
#include "browser/status_line.h"
#include "platform/orvane_version.h"
#include "platform/user_folders.h"

namespace orvane {

namespace {
constexpr char kOwnName[] = "orvane";
constexpr char kCookieFile[] = "cookies.sqlite";

// Whether the machine has a GPU's render node. Without one, GL is Mesa's
// software rasterizer: WebKit's GL compositing then compiles its shaders
// with LLVM at every start and draws on the processor anyway, so pages are
// drawn without it.
bool hasRenderNode() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", ec))
        if (entry.path().filename().string().rfind("renderD", 0) == 0)
            return true;
    return false;
}

// The one web context of the program: what sites store (cookies kept
// across runs in SQLite, local storage, caches) lives under the program's
// own folders, $XDG_DATA_HOME/orvane and $XDG_CACHE_HOME/orvane.
WebKitWebContext* browserContext() {
    static WebKitWebContext* context = [] {
        std::string data = userDataHome() + "/" + kOwnName;
        std::string cache = userCacheHome() + "/" + kOwnName;
        WebKitWebsiteDataManager* manager = webkit_website_data_manager_new(
            "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr);
        WebKitWebContext* made = webkit_web_context_new_with_website_data_manager(manager);
        std::string cookies = data + "/" + kCookieFile;
        webkit_cookie_manager_set_persistent_storage(
            webkit_website_data_manager_get_cookie_manager(manager), cookies.c_str(),
            WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
        g_object_unref(manager);
        return made;
    }();
    return context;
}
}  // namespace

WebKitControl::WebKitControl(std::string homePage)
    : homePage_(std::move(homePage)),
      view_(WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(browserContext()))) {
    g_object_ref_sink(view_);
    if (!hasRenderNode())
        webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(view_),
                                                         WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    // Servers see the browser's name and version next to WebKit's own.
    webkit_settings_set_user_agent_with_application_details(webkit_web_view_get_settings(view_),
                                                            "OrvaneExplorer", kOrvaneVersion);
    g_signal_connect(view_, "decide-policy", G_CALLBACK(onDecidePolicy), this);
    g_signal_connect(view_, "notify::title", G_CALLBACK(onTitle), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(view_, "load-failed", G_CALLBACK(onLoadFailed), this);
    ConnectPageSignals();
}

WebKitControl::~WebKitControl() {
    DropNavigation();
    DisconnectPageSignals();
    g_signal_handlers_disconnect_by_data(view_, this);
    g_object_unref(view_);
}

void WebKitControl::AttachView(CBrowserView& view) {
    browserView_ = &view;
}

void WebKitControl::Navigate2(const std::string& url) {
    webkit_web_view_load_uri(view_, url.c_str());
}

void WebKitControl::ClearBrowsingData(std::function<void()> done) {
    auto held = std::make_unique<std::function<void()>>(std::move(done));
    WebKitWebsiteDataManager* manager =
        webkit_web_context_get_website_data_manager(browserContext());
    webkit_website_data_manager_clear(
        manager, WEBKIT_WEBSITE_DATA_ALL, 0, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::function<void()>> finished(
                static_cast<std::function<void()>*>(data));
            GError* error = nullptr;
            webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(source), result,
                                                     &error);
            if (error) {
                logFrame(std::string("browsing data not cleared: ") + error->message);
                g_error_free(error);
            } else if (*finished) {
                (*finished)();
            }
        },
        held.release());
}

void WebKitControl::Print() {
    WebKitPrintOperation* operation = webkit_print_operation_new(view_);
    GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_));
    webkit_print_operation_run_dialog(operation, GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
    g_object_unref(operation);
}

gboolean WebKitControl::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                       WebKitPolicyDecisionType type, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
        return control->downloads_ ? DecideResponse(decision) : FALSE;
    if (!control->browserView_)
        return FALSE;
    auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
    WebKitNavigationAction* action =
        webkit_navigation_policy_decision_get_navigation_action(navigation);
    std::string url = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    // The decision stays open while the view asks for a download directory.
    g_object_ref(decision);
    bool cancel = false;
    // The page shown in place of a held navigation passes unasked.
    if (!control->alternateUrl_.empty() && url == control->alternateUrl_ &&
        control->alternatePage_.empty()) {
        control->alternateUrl_.clear();
        webkit_policy_decision_use(decision);
        g_object_unref(decision);
        return TRUE;
    }
    if (control->alternatePage_.empty())
        control->alternateUrl_.clear();
    control->holdRequested_ = false;
    control->browserView_->OnBeforeNavigate2(url, cancel);
    if (control->holdRequested_) {
        control->holdRequested_ = false;
        control->DropNavigation();
        control->held_ = decision;  // keeps the reference taken above
        control->heldUrl_ = url;
        return TRUE;
    }
    if (cancel) {
        webkit_policy_decision_ignore(decision);
    } else if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
        // The browser has one window: a page meant for a new one opens here.
        webkit_policy_decision_ignore(decision);
        control->OpenInThisView(url);
    } else {
        webkit_policy_decision_use(decision);
    }
    g_object_unref(decision);
    return TRUE;
}

void WebKitControl::ReleaseNavigation(const std::string& page) {
    if (!held_)
        return;
    WebKitPolicyDecision* decision = held_;
    held_ = nullptr;
    alternateUrl_ = heldUrl_;
    alternatePage_ = page;
    webkit_policy_decision_use(decision);
    g_object_unref(decision);
}

void WebKitControl::DropNavigation() {
    if (!held_)
        return;
    webkit_policy_decision_ignore(held_);
    g_object_unref(held_);
    held_ = nullptr;
}

gboolean WebKitControl::onLoadFailed(WebKitWebView* view, WebKitLoadEvent, gchar* uri, GError*,
                                     gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    if (control->alternatePage_.empty() || !uri || control->alternateUrl_ != uri)
        return FALSE;
    std::string page = std::move(control->alternatePage_);
    control->alternatePage_.clear();
    webkit_web_view_load_alternate_html(view, page.c_str(), uri, nullptr);
    return TRUE;
}

void WebKitControl::OpenInThisView(const std::string& url) {
    // Started once the policy question has been answered.
    pendingUrl_ = url;
    pendingOpen_.Schedule();
}

void WebKitControl::onTitle(WebKitWebView* view, GParamSpec*, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    const char* title = webkit_web_view_get_title(view);
    const char* uri = webkit_web_view_get_uri(view);
    if (!control->browserView_)
        return;
    // A page without a title is named by its address, as the page's
    // caption would otherwise read " - Orvane Explorer".
    if (title && *title)
        control->browserView_->OnTitleChange(title);
    else if (uri && *uri)
        control->browserView_->OnTitleChange(uri);
}

void WebKitControl::onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    const char* uri = webkit_web_view_get_uri(view);
    if (event == WEBKIT_LOAD_STARTED) {
        control->editingFrames_.clear();
        control->editingText_ = false;
        if (control->activity_)
            control->activity_->OnLoadStarted(uri ? uri : "");
    }
    if (event != WEBKIT_LOAD_FINISHED)
        return;
    if (control->activity_)
        control->activity_->OnLoadFinished();
    if (control->browserView_ && uri)
        control->browserView_->OnDocumentComplete(uri);
}

}  // namespace orvane
