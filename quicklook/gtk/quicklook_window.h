#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "quicklook/plot.h"
#include "quicklook/quicklook_files.h"

namespace orvane::quicklook {

// The one window of the quick-look: the traces, a File menu and a status
// line. The drawing and the reading are the toolkit-free ones that --png
// uses; this only turns mouse and keys into time windows.
class QuicklookWindow {
  public:
    explicit QuicklookWindow(GtkApplication* application);
    QuicklookWindow(const QuicklookWindow&) = delete;
    QuicklookWindow& operator=(const QuicklookWindow&) = delete;

    // Replaces what is shown with these files, all of them in view.
    void open(const std::vector<std::string>& paths);
    void present();

  private:
    void build(GtkApplication* application);
    GtkWidget* buildMenuBar();
    void connectSignals();
    void showAll();
    void showStatus(const std::string& text);
    void chooseFiles();
    void setView(const TimeWindow& view);

    static gboolean onDraw(GtkWidget* widget, cairo_t* cairo, gpointer self);
    static gboolean onScroll(GtkWidget* widget, GdkEventScroll* event, gpointer self);
    static gboolean onPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean onRelease(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean onMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self);
    static gboolean onKey(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static void onDrop(GtkWidget* widget, GdkDragContext* context, gint x, gint y,
                       GtkSelectionData* data, guint info, guint time, gpointer self);

    GtkWidget* window_ = nullptr;
    GtkWidget* area_ = nullptr;
    GtkWidget* status_ = nullptr;
    Loaded loaded_;
    std::vector<std::string> paths_;
    TimeWindow view_;
    PlotFrame frame_;  // the last one drawn, for reading the pointer
    enum class Drag { None, Pan, Range } drag_ = Drag::None;
    double dragStartX_ = 0;
    double dragNowX_ = 0;
    TimeWindow dragStartView_;
};

// Runs the window as the single instance of the program: a second start
// hands its files to the running one and ends.
int runQuicklookApplication(int argc, char** argv);

}  // namespace orvane::quicklook
