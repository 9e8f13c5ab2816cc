#include "browser/menu_text.h"

#include <gtest/gtest.h>

#include "resources/browser_resources.h"

namespace orvane {
namespace {

TEST(MenuText, MnemonicsAndKeyNamesSplitForGtkAndComeBackUnchanged) {
    MenuText print = MenuText::Parse("&Print...\tCtrl+P");
    EXPECT_EQ(print.mnemonicLabel, "_Print...");
    EXPECT_EQ(print.keyName, "Ctrl+P");
    MenuText stop = MenuText::Parse("Sto&p\tEsc");
    EXPECT_EQ(stop.mnemonicLabel, "Sto_p");
    MenuText odd = MenuText::Parse("R&&D_notes &x");
    EXPECT_EQ(odd.mnemonicLabel, "R&D__notes _x");
    EXPECT_EQ(odd.keyName, "");
    for (const auto& popup : resources::MainMenu())
        for (const auto& item : popup.popup)
            EXPECT_EQ(MenuText::Parse(item.text).TableText(), item.text);
    EXPECT_EQ(odd.TableText(), "R&&D_notes &x");
}

}  // namespace
}  // namespace orvane
