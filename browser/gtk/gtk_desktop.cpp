#include "browser/gtk/gtk_desktop.h"

#include "browser/app.h"
#include "browser/gtk/gtk_downloads_window.h"
#include "browser/gtk/gtk_frame.h"
#include "browser/gtk/gtk_log.h"
#include "browser/gtk/gtk_view_host.h"
#include "browser/gtk/webkit_control.h"
#include "browser/main_frame.h"
#include "browser/page_downloads.h"
#include "browser/view.h"
#include "platform/orvane_version.h"
#include "transfer/glib_ui_loop.h"

namespace orvane {

GtkDesktop::GtkDesktop(std::string programDir) : programDir_(std::move(programDir)) {}

GtkDesktop::~GtkDesktop() {
    view_.reset();
    downloadsWindow_.reset();
    transfers_.reset();
    dialogs_.reset();
    messages_.reset();
    control_.reset();
    downloads_.reset();
    frame_.reset();
    mainFrame_.reset();
    loop_.reset();
}

void GtkDesktop::MessageBox(const std::string& text) {
    logFrame("message \"" + text + "\"");
    UseOwnIcon();
    GtkWidget* box = gtk_message_dialog_new(frame_ ? frame_->window() : nullptr, GTK_DIALOG_MODAL,
                                            GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), kAppTitle);
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

void GtkDesktop::UseOwnIcon() {
    if (ownIcon_)
        return;
    ownIcon_ = true;
    if (!programDir_.empty()) {
        std::string icons = programDir_ + "../share/icons";
        gtk_icon_theme_append_search_path(gtk_icon_theme_get_default(), icons.c_str());
    }
    gtk_window_set_default_icon_name(kIconName);
}

void GtkDesktop::ShowAbout() {
    GtkWidget* dialog =
        gtk_dialog_new_with_buttons("About Orvane Explorer", frame_ ? frame_->window() : nullptr,
                                    GTK_DIALOG_MODAL, "OK", GTK_RESPONSE_OK, nullptr);
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
    GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_container_set_border_width(GTK_CONTAINER(row), 16);
    gtk_box_pack_start(GTK_BOX(row), gtk_image_new_from_icon_name(kIconName, GTK_ICON_SIZE_DIALOG),
                       FALSE, FALSE, 0);
    std::string version = std::string("Orvane Explorer Version ") + kOrvaneVersion;
    gtk_box_pack_start(GTK_BOX(texts), gtk_label_new(version.c_str()), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(texts), gtk_label_new("Release Date: 2/03/2002"), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), texts, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), row, TRUE, TRUE,
                       0);
    gtk_widget_show_all(dialog);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

bool GtkDesktop::OpenDocument(CBrowserApp& app) {
    mainFrame_ = std::make_unique<CMainFrame>(app);
    if (mainFrame_->OnCreate() != 0)
        return false;
    frame_ = std::make_unique<GtkFrameWindow>(*mainFrame_, app.endpoints());
    control_ = std::make_unique<WebKitControl>(app.endpoints().HomePageUrl());
    gtk_box_pack_start(frame_->body(), control_->widget(), TRUE, TRUE, 0);
    loop_ = std::make_unique<GlibUiLoop>(g_main_context_default());
    messages_ = std::make_unique<GtkViewMessages>();
    dialogs_ = std::make_unique<GtkDirectoryDialogs>(frame_->window());
    transfers_ = std::make_unique<GtkTransferRunner>(app, *frame_, *loop_);
    downloads_ = std::make_unique<PageDownloads>(app, *dialogs_, *mainFrame_);
    view_ = std::make_unique<CBrowserView>(
        app, ViewHost{*control_, *mainFrame_, *messages_, *dialogs_, *transfers_});
    messages_->Attach(*view_);
    control_->AttachView(*view_);
    // The first page is asked for before the bars and the icon are made:
    // WebKit starts its processes meanwhile. The page's answers come through
    // the main loop, when all below is in place.
    view_->OnInitialUpdate();
    UseOwnIcon();
    frame_->BuildBars();
    mainFrame_->AttachWindow(*frame_);
    downloadsWindow_ = std::make_unique<GtkDownloadsWindow>(app.downloads(), frame_->window());
    mainFrame_->AttachDownloads(*downloadsWindow_);
    mainFrame_->AttachPageTools(*control_);
    control_->AttachPage(*mainFrame_, mainFrame_->findInPage(), *downloads_);
    WebKitControl* control = control_.get();
    frame_->SetPage(control_->widget(), [control] { return control->EditingText(); });
    return true;
}

void GtkDesktop::RequestClose() {
    if (mainFrame_)
        mainFrame_->OnClose();
}

void GtkDesktop::ApplyPlacement(const FramePlacement& placement) {
    frame_->ApplyPlacement(placement);
}

FramePlacement GtkDesktop::CurrentPlacement() {
    return frame_->CurrentPlacement();
}

void GtkDesktop::ShowFrame() {
    gtk_widget_show_all(GTK_WIDGET(frame_->window()));
    // The page has the keyboard focus from the start: Page Down scrolls it.
    frame_->FocusPage();
}

void GtkDesktop::BringToFront() {
    frame_->BringToFront();
}

}  // namespace orvane
