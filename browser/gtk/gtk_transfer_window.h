#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <string>

#include "transfer/transfer_surface.h"

namespace orvane {

// The transfer status dialog's window (template 132): the connection and
// local file group boxes with their labels and sunken texts, the progress
// bar with its percentage, and Cancel. It is modal over the frame; Cancel,
// Esc and the close box all ask the dialog to cancel. Each control's widget
// is named by its id.
class GtkTransferWindow final : public TransferSurface {
  public:
    // onCancel runs for Cancel, Esc and the close box.
    GtkTransferWindow(GtkWindow* owner, std::function<void()> onCancel);
    ~GtkTransferWindow() override;
    GtkTransferWindow(const GtkTransferWindow&) = delete;
    GtkTransferWindow& operator=(const GtkTransferWindow&) = delete;

    void Open() override;
    void SetText(int controlId, const std::string& text) override;
    void SetTitle(const std::string& title) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressStep(int step) override { step_ = step; }
    void SetProgressPos(int position) override;
    void EndDialog(int code) override;

    GtkWindow* window() { return window_; }
    // The text a control shows now (empty for an unknown id).
    std::string text(int controlId) const;
    double progressFraction() const;

  private:
    GtkWidget* BuildConnectionBox();
    GtkWidget* BuildLocalFileBox();
    GtkWidget* SunkenText(int id, const char* initial, int widthDlu);
    void AddRow(GtkGrid* grid, int row, const char* label, GtkWidget* value);
    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer self);
    static void onCancelClicked(GtkButton*, gpointer self);

    std::function<void()> onCancel_;
    GtkWindow* owner_;
    GtkWindow* window_ = nullptr;
    GtkWindowGroup* group_ = nullptr;
    GtkProgressBar* progress_ = nullptr;
    std::map<int, GtkLabel*> texts_;
    int lower_ = 0, upper_ = 100, position_ = 0, step_ = 0;
};

}  // namespace orvane
