#include "browser/menu_text.h"

namespace orvane {

MenuText MenuText::Parse(const std::string& tableText) {
    MenuText text;
    auto tab = tableText.find('\t');
    std::string label = tableText.substr(0, tab);
    if (tab != std::string::npos)
        text.keyName = tableText.substr(tab + 1);
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '_') {
            text.mnemonicLabel += "__";  // a plain underscore
        } else if (label[i] == '&' && i + 1 < label.size()) {
            // "&&" is a plain ampersand, "&x" marks x.
            text.mnemonicLabel += label[i + 1] == '&' ? "&" : "_";
            if (label[i + 1] == '&')
                ++i;
        } else {
            text.mnemonicLabel += label[i];
        }
    }
    return text;
}

std::string MenuText::TableText() const {
    std::string label;
    for (std::size_t i = 0; i < mnemonicLabel.size(); ++i) {
        if (mnemonicLabel[i] == '_' && i + 1 < mnemonicLabel.size() &&
            mnemonicLabel[i + 1] == '_') {
            label += '_';
            ++i;
        } else if (mnemonicLabel[i] == '_') {
            label += '&';
        } else {
            label += mnemonicLabel[i] == '&' ? "&&" : std::string(1, mnemonicLabel[i]);
        }
    }
    return keyName.empty() ? label : label + "\t" + keyName;
}

}  // namespace orvane
