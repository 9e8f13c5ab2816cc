#include "transfer/console_surface.h"

#include <charconv>

namespace orvane {

namespace {

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

// The number of a "37%" text; -1 when the text is no percentage.
int PercentOf(const std::string& text) {
    int percent = -1;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), percent);
    return error == std::errc() && end != text.data() && *end == '%' ? percent : -1;
}

}  // namespace

void ConsoleTransferSurface::SetText(int controlId, const std::string& text) {
    std::string& shown = texts_[controlId];
    if (shown == text)
        return;
    shown = text;
    if (style_ == ProgressStyle::Quiet || IsBlank(text))
        return;
    if (controlId == transfer_control::kStatus)
        ShowStatus(text);
    else if (controlId == transfer_control::kReceived)
        ShowReceived(text);
    else if (controlId == transfer_control::kPercent)
        ShowPercent(text);
}

void ConsoleTransferSurface::ShowStatus(const std::string& text) {
    Finish();
    console_.err("Status: " + text + "\n");
}

void ConsoleTransferSurface::ShowReceived(const std::string& text) {
    if (style_ != ProgressStyle::Terminal)
        return;
    // Back to the line's start, the new text, and the rest of the old one
    // erased.
    console_.err("\rReceived: " + text + "\x1b[K");
    lineOpen_ = true;
}

void ConsoleTransferSurface::ShowPercent(const std::string& text) {
    int percent = PercentOf(text);
    if (style_ != ProgressStyle::Log || percent < 0)
        return;
    int tenths = percent >= 100 ? 10 : percent / 10;
    if (tenths <= tenthsShown_)
        return;
    tenthsShown_ = tenths;
    console_.err("Received: " + this->text(transfer_control::kReceived) + " (" + text + ")\n");
}

void ConsoleTransferSurface::Finish() {
    if (lineOpen_)
        console_.err("\n");
    lineOpen_ = false;
}

std::string ConsoleTransferSurface::text(int controlId) const {
    auto found = texts_.find(controlId);
    return found == texts_.end() ? std::string() : found->second;
}

}  // namespace orvane
