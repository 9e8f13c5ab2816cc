#pragma once

#include <string>

namespace orvane {

// A menu text of the resource table ("&Print...\tCtrl+P") as GTK draws it:
// the label with GTK's mnemonic mark ("_Print...") and the key name shown
// at the right ("Ctrl+P").
struct MenuText {
    std::string mnemonicLabel;
    std::string keyName;

    static MenuText Parse(const std::string& tableText);
    // Back to the table's form, from what a GTK label holds.
    std::string TableText() const;
};

}  // namespace orvane
