#include <memory>

#include "browser/gtk/gtk_desktop.h"
#include "browser/gtk/gtk_log.h"
#include "browser/viewer_program.h"
#include "platform/wine_prefix.h"

namespace orvane {

namespace {

constexpr int kNewButton = 241;
// Room for the title in the caption and for a full path in the field.
constexpr int kNewDirectoryPathChars = 60;

struct WidgetDestroyer {
    void operator()(GtkWidget* widget) const { gtk_widget_destroy(widget); }
};
using DialogHolder = std::unique_ptr<GtkWidget, WidgetDestroyer>;

std::string takeString(gchar* text) {
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

// The viewer's file name in any letter case: a Windows installer may have
// written TRMVW32.EXE.
gboolean isViewerFile(const GtkFileFilterInfo* info, gpointer) {
    return info->display_name != nullptr &&
           g_ascii_strcasecmp(info->display_name, tremora::kExecutableName) == 0;
}

// The filter "Program File trmvw32.exe", and the default Wine prefix's
// drive C: among the places, as a viewer under Wine is installed there (in
// a folder the chooser hides, ~/.wine).
void offerViewerFiles(GtkFileChooser* chooser) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter,
                             (std::string("Program File ") + tremora::kExecutableName).c_str());
    gtk_file_filter_add_custom(filter, GTK_FILE_FILTER_DISPLAY_NAME, isViewerFile, nullptr,
                               nullptr);
    gtk_file_chooser_add_filter(chooser, filter);
    std::string driveC = defaultWinePrefix() + "/drive_c";
    if (g_file_test(driveC.c_str(), G_FILE_TEST_IS_DIR))
        gtk_file_chooser_add_shortcut_folder(chooser, driveC.c_str(), nullptr);
}

// The New Directory dialog: a path typed by the user, or nullopt on Cancel.
std::optional<std::string> runNewDirectoryDialog(GtkWindow* owner) {
    DialogHolder dialog(gtk_dialog_new_with_buttons("New Directory", owner, GTK_DIALOG_MODAL, "_OK",
                                                    GTK_RESPONSE_OK, "_Cancel", GTK_RESPONSE_CANCEL,
                                                    nullptr));
    gtk_window_set_position(GTK_WINDOW(dialog.get()), GTK_WIN_POS_CENTER_ON_PARENT);
    GtkWidget* area = gtk_dialog_get_content_area(GTK_DIALOG(dialog.get()));
    GtkWidget* label = gtk_label_new_with_mnemonic("_New Directory Path:");
    GtkWidget* entry = gtk_entry_new();
    gtk_widget_set_name(entry, "140");
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), entry);
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    gtk_entry_set_width_chars(GTK_ENTRY(entry), kNewDirectoryPathChars);
    gtk_container_set_border_width(GTK_CONTAINER(area), 8);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog.get()), GTK_RESPONSE_OK);
    gtk_box_pack_start(GTK_BOX(area), label, FALSE, FALSE, 4);
    gtk_box_pack_start(GTK_BOX(area), entry, FALSE, FALSE, 4);
    gtk_widget_show_all(dialog.get());
    if (gtk_dialog_run(GTK_DIALOG(dialog.get())) != GTK_RESPONSE_OK)
        return std::nullopt;
    return std::string(gtk_entry_get_text(GTK_ENTRY(entry)));
}

GtkWidget* saveAsDefaultBox() {
    // Every choice becomes the stored default: shown ticked and greyed.
    GtkWidget* box = gtk_check_button_new_with_mnemonic("_Save as Default");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(box), TRUE);
    gtk_widget_set_sensitive(box, FALSE);
    return box;
}

}  // namespace

std::optional<DirectoryChoice> GtkDirectoryDialogs::RunDownloadDirectoryDialog(
    const std::string& start) {
    DialogHolder dialog(gtk_file_chooser_dialog_new(
        "Download Directory", owner_, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "_New...", kNewButton,
        "_Cancel", GTK_RESPONSE_CANCEL, "_OK", GTK_RESPONSE_OK, nullptr));
    auto* chooser = GTK_FILE_CHOOSER(dialog.get());
    gtk_file_chooser_set_current_folder(chooser, start.c_str());
    logFrame("Download Directory opened at " + start);
    gtk_file_chooser_set_extra_widget(chooser, saveAsDefaultBox());
    for (;;) {
        int response = gtk_dialog_run(GTK_DIALOG(dialog.get()));
        if (response == kNewButton) {
            if (auto typed = runNewDirectoryDialog(GTK_WINDOW(dialog.get())))
                return DirectoryChoice{{}, *typed};
            continue;  // New... cancelled: the chooser stays open
        }
        if (response != GTK_RESPONSE_OK)
            return std::nullopt;
        std::string folder = takeString(gtk_file_chooser_get_filename(chooser));
        if (folder.empty())
            folder = takeString(gtk_file_chooser_get_current_folder(chooser));
        return DirectoryChoice{folder + "/", {}};
    }
}

std::optional<std::string> GtkDirectoryDialogs::RunLocateTremoraDialog(const std::string& current) {
    DialogHolder dialog(gtk_file_chooser_dialog_new("Open", owner_, GTK_FILE_CHOOSER_ACTION_OPEN,
                                                    "_Cancel", GTK_RESPONSE_CANCEL, "_Open",
                                                    GTK_RESPONSE_OK, nullptr));
    auto* chooser = GTK_FILE_CHOOSER(dialog.get());
    offerViewerFiles(chooser);
    if (!current.empty())
        gtk_file_chooser_set_filename(chooser, current.c_str());
    if (gtk_dialog_run(GTK_DIALOG(dialog.get())) != GTK_RESPONSE_OK)
        return std::nullopt;
    std::string chosen = takeString(gtk_file_chooser_get_filename(chooser));
    if (chosen.empty())
        return std::nullopt;
    return chosen;
}

}  // namespace orvane
