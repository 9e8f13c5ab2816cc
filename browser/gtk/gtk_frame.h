#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "browser/frame_placement.h"
#include "browser/gtk/idle_call.h"
#include "browser/main_frame.h"

namespace orvane {

struct Endpoints;

// The main frame's window on GTK: the menu bar with its accelerators, the
// toolbar, the address box, the status bar with its lock indicators, and
// the body that holds the web view. Every command goes to CMainFrame by id.
class GtkFrameWindow final : public FrameWindow {
  public:
    // The window with its empty body; the bars come with BuildBars, apart
    // so that the first page can be asked for in between: WebKit starts
    // its processes while the menus and the toolbar's icons are made.
    GtkFrameWindow(CMainFrame& logic, const Endpoints& endpoints);
    ~GtkFrameWindow() override;
    GtkFrameWindow(const GtkFrameWindow&) = delete;
    GtkFrameWindow& operator=(const GtkFrameWindow&) = delete;

    void BuildBars();
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
    void EnableCommand(int id, bool enabled) override;
    void SetFullScreen(bool on) override;
    void SetFavoritesMenu(const std::vector<resources::MenuItem>& items) override;
    void OpenFolder(const std::string& folder) override;

    void ShowFindBar(bool visible) override;
    void FocusFindText() override;
    std::string FindText() const override;
    void SetFindResult(const std::string& text) override;
    void FocusPage() override;
    GtkWidget* findBar() { return findBar_; }
    GtkEntry* findEntry() { return findEntry_; }
    std::string findResult() const;

    // The web view in the body, which takes the focus after a navigation;
    // editingText tells whether the page's focus is in an editable element.
    void SetPage(GtkWidget* page, std::function<bool()> editingText);
    // F6 or Alt+D: the address box takes the focus, its text selected.
    void FocusAddressBox();

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
    void BuildFindBar();
    bool FocusIsEditingText() const;
    bool HandleFrameKey(GdkEventKey* event);
    void ConnectCommand(GtkWidget* widget, const char* signal, int id);
    void ConnectPrompt(GtkWidget* widget, int id);
    // Drops what the frame keeps of a menu's items before it goes.
    void ForgetMenuWidgets(GtkWidget* menu);
    void UpdateIndicators();

    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self);
    static gboolean onWindowState(GtkWidget*, GdkEventWindowState*, gpointer self);
    static gboolean onKeyPress(GtkWidget*, GdkEventKey*, gpointer self);
    static void onAddressActivate(GtkEntry*, gpointer self);
    static void onAddressChanged(GtkComboBox*, gpointer self);
    static void onKeymapChanged(GdkKeymap*, gpointer self);
    void OnAddressChoiceDone();
    static void onAddressListShown(GObject* box, GParamSpec*, gpointer);

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
    std::map<int, std::vector<GtkWidget*>> commandWidgets_;
    GtkWidget* findBar_ = nullptr;
    GtkEntry* findEntry_ = nullptr;
    GtkLabel* findResult_ = nullptr;
    GtkWidget* page_ = nullptr;
    std::function<bool()> pageEditingText_;
    IdleCall addressChoiceReset_{[this] { OnAddressChoiceDone(); }};
    bool settingAddress_ = false;
    FramePlacement normal_;
    bool maximized_ = false;
    bool minimized_ = false;
    bool fullScreen_ = false;
};

}  // namespace orvane
