#pragma once

#include <string>

namespace orvane {

// Control ids of the transfer status dialog (template 132).
namespace transfer_control {
inline constexpr int kStatus = 258;
inline constexpr int kReceived = 259;
inline constexpr int kRemotePath = 260;
inline constexpr int kDirectory = 261;
inline constexpr int kFileName = 262;
inline constexpr int kHost = 271;
inline constexpr int kProgress = 1002;
inline constexpr int kPercent = 1003;
inline constexpr int kCancel = 2;
}  // namespace transfer_control

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// What the transfer dialog shows, keyed by control id: the GTK dialog in the
// browser, the console in orvane-fetch, a recording in tests.
class TransferSurface {
  public:
    virtual ~TransferSurface() = default;
    // Creates and shows the dialog with its template's texts; called once,
    // before OnInitDialog.
    virtual void Open() = 0;
    virtual void SetText(int controlId, const std::string& text) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void SetProgressRange(int lower, int upper) = 0;
    virtual void SetProgressStep(int step) = 0;
    virtual void SetProgressPos(int position) = 0;
    // The dialog ends with this code; the surface closes its window.
    virtual void EndDialog(int code) = 0;
};

// The dialog's progress bar (control 1002), bound to the surface.
class ProgressBar {
  public:
    void Bind(TransferSurface* surface) { surface_ = surface; }
    void SetRange(int lower, int upper) {
        if (surface_)
            surface_->SetProgressRange(lower, upper);
    }
    void SetStep(int step) {
        if (surface_)
            surface_->SetProgressStep(step);
    }
    void SetPos(int position) {
        if (surface_)
            surface_->SetProgressPos(position);
    }

  private:
    TransferSurface* surface_ = nullptr;
};

}  // namespace orvane
