// Files the page links to that the web view cannot show, saved with
// WebKit's own download: PageDownloads decides where to and reports; this
// only carries WebKit's signals to it.

#include "browser/gtk/webkit_control.h"
#include "browser/page_downloads.h"

namespace orvane {

namespace {
constexpr char kPathKey[] = "orvane-path";
constexpr char kFailedKey[] = "orvane-failed";

std::string pathOf(WebKitDownload* download) {
    auto* path = static_cast<const char*>(g_object_get_data(G_OBJECT(download), kPathKey));
    return path ? path : "";
}
}  // namespace

gboolean WebKitControl::DecideResponse(WebKitPolicyDecision* decision) {
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    guint status =
        webkit_uri_response_get_status_code(webkit_response_policy_decision_get_response(response));
    // An error page stays a page, whatever its type.
    if (webkit_response_policy_decision_is_mime_type_supported(response) || status >= 400)
        return FALSE;
    webkit_policy_decision_download(decision);
    return TRUE;
}

void WebKitControl::onDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    if (webkit_download_get_web_view(download) != control->view_ || !control->downloads_)
        return;
    control->downloadsRunning_.insert(download);
    g_object_ref(download);
    g_signal_connect(download, "decide-destination", G_CALLBACK(onDecideDestination), control);
    g_signal_connect(download, "received-data", G_CALLBACK(onDownloadData), control);
    g_signal_connect(download, "failed", G_CALLBACK(onDownloadFailed), control);
    g_signal_connect(download, "finished", G_CALLBACK(onDownloadFinished), control);
}

gboolean WebKitControl::onDecideDestination(WebKitDownload* download, gchar* suggested,
                                            gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    auto path = control->downloads_->DecideDestination(
        suggested ? suggested : "", [download] { webkit_download_cancel(download); });
    if (!path) {
        // No download directory: the file is dropped without a word.
        g_object_set_data(G_OBJECT(download), kFailedKey, GINT_TO_POINTER(1));
        webkit_download_cancel(download);
        return TRUE;
    }
    g_object_set_data_full(G_OBJECT(download), kPathKey, g_strdup(path->c_str()), g_free);
    gchar* uri = g_filename_to_uri(path->c_str(), nullptr, nullptr);
    webkit_download_set_allow_overwrite(download, FALSE);
    webkit_download_set_destination(download, uri);
    g_free(uri);
    return TRUE;
}

void WebKitControl::onDownloadData(WebKitDownload* download, guint64, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    WebKitURIResponse* response = webkit_download_get_response(download);
    guint64 expected = response ? webkit_uri_response_get_content_length(response) : 0;
    control->downloads_->OnProgress(pathOf(download),
                                    webkit_download_get_received_data_length(download), expected);
}

void WebKitControl::onDownloadFailed(WebKitDownload* download, GError* error, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    bool reported = g_object_get_data(G_OBJECT(download), kFailedKey) != nullptr;
    g_object_set_data(G_OBJECT(download), kFailedKey, GINT_TO_POINTER(1));
    if (reported)
        return;
    if (g_error_matches(error, WEBKIT_DOWNLOAD_ERROR, WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER))
        control->downloads_->OnCancelled(pathOf(download));
    else
        control->downloads_->OnFailed(pathOf(download), error ? error->message : "unknown error");
}

void WebKitControl::onDownloadFinished(WebKitDownload* download, gpointer self) {
    auto* control = static_cast<WebKitControl*>(self);
    // WebKit ends a failed download with "finished" too.
    bool failed = g_object_get_data(G_OBJECT(download), kFailedKey) != nullptr;
    std::string path = pathOf(download);
    control->ForgetDownload(download);
    if (!failed)
        control->downloads_->OnFinished(path);
}

void WebKitControl::ForgetDownload(WebKitDownload* download) {
    if (!downloadsRunning_.erase(download))
        return;
    g_signal_handlers_disconnect_by_data(download, this);
    g_object_unref(download);
}

}  // namespace orvane
