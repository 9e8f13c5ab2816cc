#include "transfer/console_surface.h"

namespace orvane {

namespace {

const char* LabelOf(int controlId) {
    if (controlId == transfer_control::kStatus)
        return "Status: ";
    if (controlId == transfer_control::kReceived)
        return "Received: ";
    return nullptr;
}

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

}  // namespace

void ConsoleTransferSurface::SetText(int controlId, const std::string& text) {
    std::string& shown = texts_[controlId];
    if (shown == text)
        return;
    shown = text;
    const char* label = LabelOf(controlId);
    if (label != nullptr && !IsBlank(text))
        console_.err(label + text + "\n");
}

std::string ConsoleTransferSurface::text(int controlId) const {
    auto found = texts_.find(controlId);
    return found == texts_.end() ? std::string() : found->second;
}

}  // namespace orvane
