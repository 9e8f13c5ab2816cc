#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "browser/frame_placement.h"
#include "browser/view.h"

namespace orvane {

// The main frame's window: the caption after the document title, the
// placement kept for the next start, and the close box.
class GtkFrame final : public ViewFrame {
public:
    explicit GtkFrame(std::function<void()> onClose);
    ~GtkFrame() override;
    GtkFrame(const GtkFrame&) = delete;
    GtkFrame& operator=(const GtkFrame&) = delete;

    GtkWindow* window() { return window_; }
    GtkBox* body() { return body_; }

    void SetDocumentTitle(const std::string& title) override;
    void ShowAddress(const std::string&) override {}

    void ApplyPlacement(const FramePlacement& placement);
    FramePlacement CurrentPlacement() const;
    void BringToFront();

private:
    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self);
    static gboolean onWindowState(GtkWidget*, GdkEventWindowState*, gpointer self);

    std::function<void()> onClose_;
    GtkWindow* window_;
    GtkBox* body_;
    FramePlacement normal_;
    bool maximized_ = false;
    bool minimized_ = false;
};

}  // namespace orvane
