#include "tools/trmvw32/standin_viewer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/unique_fd.h"
#include "tools/trmvw32/open_command.h"

namespace orvane {
namespace {

constexpr const char* kTitleMark = "Tremora - ";

}  // namespace

StandinViewer::StandinViewer(std::string logPath, std::function<void()> onClosed)
    : logPath_(std::move(logPath)), onClosed_(std::move(onClosed)) {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), kTitleMark);
    gtk_window_set_default_size(GTK_WINDOW(window_), 480, 160);
    label_ = gtk_label_new("Stand-in for the Tremora viewer: no file open.");
    gtk_label_set_selectable(GTK_LABEL(label_), TRUE);
    gtk_label_set_line_wrap(GTK_LABEL(label_), TRUE);
    gtk_container_add(GTK_CONTAINER(window_), label_);
    g_signal_connect(window_, "destroy", G_CALLBACK(onDestroy), this);
    gtk_widget_show_all(window_);
}

StandinViewer::~StandinViewer() {
    if (window_ == nullptr)
        return;
    onClosed_ = nullptr;
    gtk_widget_destroy(window_);
}

void StandinViewer::onDestroy(GtkWidget*, gpointer self) {
    auto* viewer = static_cast<StandinViewer*>(self);
    viewer->window_ = nullptr;
    viewer->label_ = nullptr;
    if (viewer->onClosed_)
        viewer->onClosed_();
}

void StandinViewer::openFile(const std::string& path) {
    appendToLog(path);
    if (window_ == nullptr)
        return;
    std::string name = std::filesystem::path(path).filename().string();
    gtk_window_set_title(GTK_WINDOW(window_), (kTitleMark + name).c_str());
    ++filesShown_;
    std::string text = "File " + std::to_string(filesShown_) + ": " + path;
    gtk_label_set_text(GTK_LABEL(label_), text.c_str());
    gtk_window_present(GTK_WINDOW(window_));
}

void StandinViewer::appendToLog(const std::string& path) const {
    if (logPath_.empty())
        return;
    UniqueFd log(::open(logPath_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    std::string line = logLineFor(path);
    // One write per line, so lines of several viewers never interleave.
    if (!log.valid() ||
        ::write(log.get(), line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        std::fprintf(stderr, "trmvw32.exe: cannot append to %s\n", logPath_.c_str());
}

}  // namespace orvane
