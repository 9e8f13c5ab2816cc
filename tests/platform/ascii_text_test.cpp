// Case folding and character classes of ASCII alone: bytes above 0x7F (UTF-8
// or Latin-1 letters) are never letters or digits and keep their case.
#include "platform/ascii_text.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(AsciiText, FoldsTheCaseOfAsciiLettersOnly) {
    EXPECT_EQ(asciiLowered("HTTP/1.1 Content-Length: 5 \xC3\x89\xC9"),
              "http/1.1 content-length: 5 \xC3\x89\xC9");
    EXPECT_EQ(asciiUppered("retr a@[z]`{\xE9"), "RETR A@[Z]`{\xE9");
    EXPECT_EQ(asciiLower('@'), '@');
    EXPECT_EQ(asciiUpper('{'), '{');
}

TEST(AsciiText, ComparesAndMatchesPrefixesWithoutCase) {
    EXPECT_TRUE(equalIgnoringCase("Software\\Wine", "SOFTWARE\\wine"));
    EXPECT_FALSE(equalIgnoringCase("drive_c", "drive_c2"));
    EXPECT_FALSE(equalIgnoringCase("\xC9", "\xE9")) << "Latin-1 letters are not folded";
    EXPECT_TRUE(equalIgnoringCase("", ""));
    EXPECT_TRUE(startsWithIgnoringCase("HTTPS://host/", "https://"));
    EXPECT_TRUE(startsWithIgnoringCase("com7", "COM"));
    EXPECT_FALSE(startsWithIgnoringCase("CO", "COM"));
    EXPECT_FALSE(startsWithIgnoringCase("ftp:/", "ftp://"));
}

TEST(AsciiText, DigitsAndLettersAreAsciiOnes) {
    EXPECT_TRUE(isAsciiDigit('0') && isAsciiDigit('9'));
    EXPECT_FALSE(isAsciiDigit('/') || isAsciiDigit(':') || isAsciiDigit('\xB2'));
    EXPECT_TRUE(isAsciiAlpha('a') && isAsciiAlpha('Z') && isAsciiAlnum('5'));
    EXPECT_FALSE(isAsciiAlpha('[') || isAsciiAlpha('`') || isAsciiAlpha('\xE9'));
    EXPECT_FALSE(isAsciiAlnum('-') || isAsciiAlnum('\xC3'));
}

}  // namespace
}  // namespace orvane
