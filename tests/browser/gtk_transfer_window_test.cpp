// The status dialog's window as the transfer dialog drives it.

#include "browser/gtk/gtk_transfer_window.h"

#include <gtest/gtest.h>

#include "tests/browser/gtk_session.h"
#include "tests/platform/required_program.h"

namespace orvane {
namespace {

using testing::GtkSession;
using namespace transfer_control;

std::vector<std::string> frameTitles(GtkWidget* widget) {
    std::vector<std::string> titles;
    if (GTK_IS_FRAME(widget) && gtk_frame_get_label(GTK_FRAME(widget)))
        titles.push_back(gtk_frame_get_label(GTK_FRAME(widget)));
    if (GTK_IS_CONTAINER(widget)) {
        GList* list = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* at = list; at; at = at->next)
            for (auto& title : frameTitles(GTK_WIDGET(at->data)))
                titles.push_back(title);
        g_list_free(list);
    }
    return titles;
}

class GtkTransferWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testing::programInstalled("Xvfb"));
        ASSERT_TRUE(GtkSession::get()) << "GTK could not open its private X display";
        owner = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
        dialog = std::make_unique<GtkTransferWindow>(owner, [this] { ++cancels; });
        dialog->Open();
        ASSERT_TRUE(GtkSession::pumpUntilShown(GTK_WIDGET(dialog->window())));
    }
    void TearDown() override {
        dialog.reset();
        if (owner)
            gtk_widget_destroy(GTK_WIDGET(owner));
    }
    void press(guint key) {
        GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
        event->key.window =
            GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(dialog->window()))));
        event->key.keyval = key;
        gtk_widget_event(GTK_WIDGET(dialog->window()), event);
        gdk_event_free(event);
    }

    GtkWindow* owner = nullptr;
    std::unique_ptr<GtkTransferWindow> dialog;
    int cancels = 0;
};

TEST_F(GtkTransferWindowTest, OpensModalOverItsOwnerWithTheTemplatesTexts) {
    EXPECT_STREQ(gtk_window_get_title(dialog->window()), "FTP Transfer Status");
    EXPECT_TRUE(gtk_window_get_modal(dialog->window()));
    EXPECT_EQ(gtk_window_get_transient_for(dialog->window()), owner);
    EXPECT_EQ(frameTitles(GTK_WIDGET(dialog->window()))[0], "Connection Information:");
    auto titles = frameTitles(GTK_WIDGET(dialog->window()));
    EXPECT_NE(std::find(titles.begin(), titles.end(), "Local File Information:"), titles.end());
    EXPECT_EQ(dialog->text(kStatus), " ");
    EXPECT_EQ(dialog->text(kReceived), " ");
    EXPECT_EQ(dialog->text(kHost), "");
    EXPECT_EQ(dialog->text(kPercent), "");
    dialog->SetTitle("HTTP Transfer Status");
    EXPECT_STREQ(gtk_window_get_title(dialog->window()), "HTTP Transfer Status");
}

TEST_F(GtkTransferWindowTest, TextsAndProgressFollowTheDialog) {
    dialog->SetText(kHost, "127.0.0.1:8080");
    dialog->SetText(kStatus, "Receiving file");
    dialog->SetText(kPercent, "40%");
    dialog->SetText(9999, "ignored");
    EXPECT_EQ(dialog->text(kHost), "127.0.0.1:8080");
    EXPECT_EQ(dialog->text(kStatus), "Receiving file");
    EXPECT_EQ(dialog->text(kPercent), "40%");
    dialog->SetProgressRange(0, 100);
    dialog->SetProgressPos(40);
    EXPECT_DOUBLE_EQ(dialog->progressFraction(), 0.4);
    dialog->SetProgressPos(250);
    EXPECT_DOUBLE_EQ(dialog->progressFraction(), 1.0);
}

TEST_F(GtkTransferWindowTest, CancelEscAndTheCloseBoxAllAskToCancel) {
    GtkWidget* layout = gtk_bin_get_child(GTK_BIN(dialog->window()));
    GList* rows = gtk_container_get_children(GTK_CONTAINER(layout));
    GtkWidget* cancel = GTK_WIDGET(g_list_last(rows)->data);
    g_list_free(rows);
    EXPECT_STREQ(gtk_widget_get_name(cancel), "2");
    gtk_button_clicked(GTK_BUTTON(cancel));
    press(GDK_KEY_Escape);
    press(GDK_KEY_a);
    GdkEvent* close = gdk_event_new(GDK_DELETE);
    close->any.window =
        GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(dialog->window()))));
    gtk_main_do_event(close);
    gdk_event_free(close);
    EXPECT_EQ(cancels, 3);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(dialog->window()))) << "only the dialog ends it";
    dialog->EndDialog(IDOK);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(dialog->window())));
}

}  // namespace
}  // namespace orvane
