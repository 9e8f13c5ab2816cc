#include "browser/gtk/webkit_control.h"

namespace orvane {

WebKitControl::WebKitControl(std::string homePage)
    : homePage_(std::move(homePage)), view_(WEBKIT_WEB_VIEW(webkit_web_view_new())) {
    g_object_ref_sink(view_);
    g_signal_connect(view_, "notify::title", G_CALLBACK(onTitle), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
}

WebKitControl::~WebKitControl() {
    g_signal_handlers_disconnect_by_data(view_, this);
    g_object_unref(view_);
}

void WebKitControl::AttachView(CBrowserView& view) { browserView_ = &view; }

void WebKitControl::Navigate2(const std::string& url) { webkit_web_view_load_uri(view_, url.c_str()); }

void WebKitControl::Print() {
    WebKitPrintOperation* operation = webkit_print_operation_new(view_);
    GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(view_));
    webkit_print_operation_run_dialog(operation, GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr);
    g_object_unref(operation);
}

void WebKitControl::onTitle(WebKitWebView* view, GParamSpec*, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    const char* title = webkit_web_view_get_title(view);
    if (control->browserView_ && title) control->browserView_->OnTitleChange(title);
}

void WebKitControl::onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    const char* uri = webkit_web_view_get_uri(view);
    if (event == WEBKIT_LOAD_FINISHED && control->browserView_ && uri)
        control->browserView_->OnDocumentComplete(uri);
}

}  // namespace orvane
