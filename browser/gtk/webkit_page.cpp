// What the web control reports about the page besides navigation: the link
// under the pointer, the loading progress, the history for Back and Forward,
// where the keyboard focus is, search results, zoom, and certificates that
// fail their checks.

#include <jsc/jsc.h>

#include "browser/certificate_page.h"
#include "browser/gtk/gtk_log.h"
#include "browser/gtk/webkit_control.h"
#include "browser/page_downloads.h"
#include "browser/status_line.h"

namespace orvane {

namespace {
constexpr char kScriptWorld[] = "orvane";
constexpr char kEditingChannel[] = "orvaneEditing";

// Runs in every frame, in a script world of its own that pages cannot reach:
// reports "FRAME:1" when the frame's focus is in an editable element and
// "FRAME:0" when it leaves it or the frame goes away.
constexpr char kEditingScript[] = R"js((function() {
  var frame = Math.random().toString(36).slice(2);
  var last = null;
  function editing(e) {
    if (!e) return false;
    if (e.isContentEditable) return true;
    if (e.tagName === 'TEXTAREA' || e.tagName === 'SELECT') return !e.disabled;
    if (e.tagName !== 'INPUT' || e.disabled) return false;
    var kind = (e.getAttribute('type') || 'text').toLowerCase();
    return ['button', 'checkbox', 'color', 'file', 'hidden', 'image', 'radio', 'range',
            'reset', 'submit'].indexOf(kind) < 0;
  }
  function post(state) {
    if (state === last) return;
    last = state;
    try { window.webkit.messageHandlers.orvaneEditing.postMessage(frame + (state ? ':1' : ':0')); }
    catch (ignored) {}
  }
  function report() { post(editing(document.activeElement)); }
  document.addEventListener('focusin', report, true);
  document.addEventListener('focusout', function() { setTimeout(report, 0); }, true);
  window.addEventListener('pagehide', function() { post(false); last = null; }, true);
  report();
})();)js";

unsigned problemsOf(GTlsCertificateFlags errors) {
    unsigned problems = 0;
    if (errors & G_TLS_CERTIFICATE_UNKNOWN_CA)
        problems |= kCertificateUnknownIssuer;
    if (errors & G_TLS_CERTIFICATE_BAD_IDENTITY)
        problems |= kCertificateHostMismatch;
    if (errors & G_TLS_CERTIFICATE_NOT_ACTIVATED)
        problems |= kCertificateNotYetValid;
    if (errors & G_TLS_CERTIFICATE_EXPIRED)
        problems |= kCertificateExpired;
    if (errors & G_TLS_CERTIFICATE_REVOKED)
        problems |= kCertificateRevoked;
    if (errors & G_TLS_CERTIFICATE_INSECURE)
        problems |= kCertificateInsecure;
    if (errors & G_TLS_CERTIFICATE_GENERIC_ERROR)
        problems |= kCertificateOtherProblem;
    return problems;
}

std::string takeText(gchar* text) {
    std::string result = text ? text : "";
    g_free(text);
    return result;
}
}  // namespace

void WebKitControl::ConnectPageSignals() {
    g_signal_connect(view_, "mouse-target-changed", G_CALLBACK(onMouseTarget), this);
    g_signal_connect(view_, "notify::estimated-load-progress", G_CALLBACK(onProgress), this);
    g_signal_connect(view_, "load-failed-with-tls-errors", G_CALLBACK(onTlsErrors), this);
    g_signal_connect(webkit_web_view_get_back_forward_list(view_), "changed",
                     G_CALLBACK(onHistoryChanged), this);
    WebKitFindController* finder = webkit_web_view_get_find_controller(view_);
    g_signal_connect(finder, "found-text", G_CALLBACK(onFound), this);
    g_signal_connect(finder, "failed-to-find-text", G_CALLBACK(onNotFound), this);
    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_);
    g_signal_connect(content, "script-message-received::orvaneEditing",
                     G_CALLBACK(onEditingMessage), this);
    webkit_user_content_manager_register_script_message_handler_in_world(content, kEditingChannel,
                                                                         kScriptWorld);
    WebKitUserScript* script = webkit_user_script_new_for_world(
        kEditingScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kScriptWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
    g_signal_connect(webkit_web_view_get_context(view_), "download-started",
                     G_CALLBACK(onDownloadStarted), this);
}

void WebKitControl::DisconnectPageSignals() {
    // Downloads still under way end with the control; WebKit removes their
    // partial files.
    for (WebKitDownload* download : std::set<WebKitDownload*>(downloadsRunning_)) {
        g_signal_handlers_disconnect_by_data(download, this);
        webkit_download_cancel(download);
        g_object_unref(download);
    }
    downloadsRunning_.clear();
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_context(view_), this);
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(view_), this);
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_find_controller(view_), this);
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_back_forward_list(view_), this);
}

void WebKitControl::AttachPage(PageActivity& activity, FindInPage& find, PageDownloads& downloads) {
    activity_ = &activity;
    find_ = &find;
    downloads_ = &downloads;
    ReportHistory();
}

void WebKitControl::ReportHistory() {
    if (activity_)
        activity_->OnHistoryChanged(webkit_web_view_can_go_back(view_),
                                    webkit_web_view_can_go_forward(view_));
}

void WebKitControl::onHistoryChanged(WebKitBackForwardList*, WebKitBackForwardListItem*, gpointer,
                                     gpointer self) {
    static_cast<WebKitControl*>(self)->ReportHistory();
}

void WebKitControl::onMouseTarget(WebKitWebView*, WebKitHitTestResult* hit, guint, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    if (!control->activity_)
        return;
    const char* link = webkit_hit_test_result_context_is_link(hit)
                           ? webkit_hit_test_result_get_link_uri(hit)
                           : nullptr;
    control->activity_->OnLinkHover(link ? link : "");
}

void WebKitControl::onProgress(WebKitWebView* view, GParamSpec*, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    if (control->activity_)
        control->activity_->OnLoadProgress(
            static_cast<int>(webkit_web_view_get_estimated_load_progress(view) * 100 + 0.5));
}

void WebKitControl::onEditingMessage(WebKitUserContentManager*, WebKitJavascriptResult* result,
                                     gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    std::string message =
        takeText(jsc_value_to_string(webkit_javascript_result_get_js_value(result)));
    auto colon = message.rfind(':');
    if (colon == std::string::npos)
        return;
    std::string frame = message.substr(0, colon);
    if (message.substr(colon + 1) == "1")
        control->editingFrames_.insert(frame);
    else
        control->editingFrames_.erase(frame);
    control->editingText_ = !control->editingFrames_.empty();
    logFrame(control->editingText_ ? "page focus in a text field"
                                   : "page focus not in a text field");
}

void WebKitControl::SearchText(const std::string& text, bool backwards) {
    WebKitFindController* finder = webkit_web_view_get_find_controller(view_);
    guint options = WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND;
    if (text != searched_) {
        searched_ = text;
        webkit_find_controller_search(finder, text.c_str(), options, G_MAXUINT);
    } else if (backwards) {
        webkit_find_controller_search_previous(finder);
    } else {
        webkit_find_controller_search_next(finder);
    }
}

void WebKitControl::EndSearch() {
    searched_.clear();
    webkit_find_controller_search_finish(webkit_web_view_get_find_controller(view_));
}

void WebKitControl::onFound(WebKitFindController*, guint matches, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    if (control->find_)
        control->find_->OnSearchResult(matches == 0 ? 1 : matches);
}

void WebKitControl::onNotFound(WebKitFindController*, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    if (control->find_)
        control->find_->OnSearchResult(0);
}

void WebKitControl::SetZoomLevel(double level) {
    webkit_web_view_set_zoom_level(view_, level);
}

gboolean WebKitControl::onTlsErrors(WebKitWebView* view, char* uri, GTlsCertificate* certificate,
                                    GTlsCertificateFlags errors, gpointer) {
    // A page of our own in place of the secure page; it has no way on to
    // the page, whatever the problem.
    std::string page = CertificateErrorPage(
        uri, problemsOf(errors), takeText(g_tls_certificate_get_subject_name(certificate)),
        takeText(g_tls_certificate_get_issuer_name(certificate)));
    webkit_web_view_load_alternate_html(view, page.c_str(), uri, nullptr);
    return TRUE;
}

}  // namespace orvane
