#pragma once

#include <gtk/gtk.h>

#include <map>
#include <string>
#include <vector>

#include "browser/frame_placement.h"
#include "browser/main_frame.h"

namespace orvane {

struct Endpoints;

// The main frame's window on GTK: the menu bar with its accelerators, the
// toolbar, the address box, the status bar with its lock indicators, and
// the body that holds the web view. Every command goes to CMainFrame by id.
class GtkFrameWindow final : public FrameWindow {
  public:
    GtkFrameWindow(CMainFrame& logic, const Endpoints& endpoints);
    ~GtkFrameWindow() override;
    GtkFrameWindow(const GtkFrameWindow&) = delete;
    GtkFrameWindow& operator=(const GtkFrameWindow&) = delete;

    GtkWindow* window() { return window_; }
    GtkBox* body() { return body_; }
    GtkWidget* menuBar() { return menuBar_; }
    GtkWidget* toolbar() { return toolbar_; }
    GtkComboBoxText* addressBox() { return addressBox_; }
    GtkWidget* statusRow() { return statusRow_; }
    // The message pane's text.
    std::string statusText() const;

    void SetCaption(const std::string& caption) override;
    void SetAddressText(const std::string& text) override;
    void AppendAddressEntry(const std::string& text) override;
    void SetStatusText(const std::string& text) override;
    void ShowBar(int barId, bool visible) override;
    void DestroyWindow() override;

    void ApplyPlacement(const FramePlacement& placement);
    FramePlacement CurrentPlacement() const;
    void BringToFront();
    // While a modal dialog runs, the frame takes no input (its close box
    // still works).
    void SetInputEnabled(bool enabled);

  private:
    void BuildMenuBar();
    GtkWidget* BuildMenu(const std::vector<resources::MenuItem>& items);
    GtkWidget* BuildMenuItem(const resources::MenuItem& item);
    void AddAccelerator(GtkWidget* item, int id);
    void BuildToolbar();
    void BuildAddressBand();
    void BuildStatusBar();
    void ConnectCommand(GtkWidget* widget, const char* signal, int id);
    void ConnectPrompt(GtkWidget* widget, int id);
    void UpdateIndicators();

    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self);
    static gboolean onWindowState(GtkWidget*, GdkEventWindowState*, gpointer self);
    static gboolean onKeyPress(GtkWidget*, GdkEventKey*, gpointer self);
    static void onAddressActivate(GtkEntry*, gpointer self);
    static void onAddressChanged(GtkComboBox*, gpointer self);
    static void onKeymapChanged(GdkKeymap*, gpointer self);

    CMainFrame& logic_;
    const Endpoints& endpoints_;
    GtkWindow* window_;
    GtkBox* layout_;
    GtkBox* body_;
    GtkAccelGroup* accelGroup_;
    GtkWidget* menuBar_ = nullptr;
    GtkWidget* toolbar_ = nullptr;
    GtkComboBoxText* addressBox_ = nullptr;
    GtkWidget* statusRow_ = nullptr;
    GtkStatusbar* statusBar_ = nullptr;
    std::vector<GtkWidget*> indicators_;
    std::map<int, GtkWidget*> checkItems_;
    std::vector<GtkWidget*> promptWidgets_;
    bool settingAddress_ = false;
    FramePlacement normal_;
    bool maximized_ = false;
    bool minimized_ = false;
};

}  // namespace orvane
