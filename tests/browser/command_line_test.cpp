#include "browser/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tools/testkit/temp_folder.h"

namespace orvane {
namespace {

TEST(CommandLineSplit, EmptyGivesNoUrls) {
    StartUrls urls = SplitCommandLine("");
    EXPECT_EQ(urls.initialUrl, "");
    EXPECT_EQ(urls.startPage, "");
    urls = SplitCommandLine("\"");
    EXPECT_EQ(urls.initialUrl, "");
}

TEST(CommandLineSplit, OneUrlIsShownFirstAndIsTheStartPage) {
    StartUrls urls = SplitCommandLine("http://web.example/quakes/");
    EXPECT_EQ(urls.initialUrl, "http://web.example/quakes/");
    EXPECT_EQ(urls.startPage, "http://web.example/quakes/");
    urls = SplitCommandLine("\"http://web.example/\"");
    EXPECT_EQ(urls.initialUrl, "http://web.example/");
    EXPECT_EQ(urls.startPage, "http://web.example/");
}

TEST(CommandLineSplit, TwoUrlsInOneQuotedText) {
    StartUrls urls = SplitCommandLine("\"http://a.example/first,http://b.example/home\"");
    EXPECT_EQ(urls.initialUrl, "http://a.example/first");
    EXPECT_EQ(urls.startPage, "http://b.example/home");
}

TEST(CommandLineSplit, EachQuotedPartLosesItsClosingQuoteOnly) {
    StartUrls urls = SplitCommandLine("\"http://a.example/\",\"http://b.example/\"");
    EXPECT_EQ(urls.initialUrl, "http://a.example/");
    EXPECT_EQ(urls.startPage, "\"http://b.example/");
    // A part of two characters or fewer keeps its quote.
    urls = SplitCommandLine("a\",http://b.example/");
    EXPECT_EQ(urls.initialUrl, "a\"");
    EXPECT_EQ(urls.startPage, "http://b.example/");
}

TEST(CommandLineSplit, ArgumentsAreJoinedWithBlanks) {
    EXPECT_EQ(JoinArguments({}), "");
    EXPECT_EQ(JoinArguments({"http://a/,http://b/"}), "http://a/,http://b/");
    EXPECT_EQ(JoinArguments({"http://a/,", "http://b/"}), "http://a/, http://b/");
}

// Each form the address box takes, and files named as a shell names them.
TEST(CommandLineAddress, TakesWhatTheAddressBoxTakesAndLocalFilesAbsolute) {
    testkit::TempFolder folder;
    std::filesystem::create_directories(folder / "home/pages");
    std::ofstream(folder / "page.html") << "<title>x</title>";
    std::ofstream(folder / "home/pages/a #1.html") << "x";
    std::string here = folder.path(), home = folder / "home";
    EXPECT_EQ(CommandLineAddress("page.html", here, home), "file://" + here + "/page.html");
    EXPECT_EQ(CommandLineAddress("./page.html", here, home), "file://" + here + "/page.html");
    EXPECT_EQ(CommandLineAddress("home/pages/../../page.html", here, home),
              "file://" + here + "/page.html");
    EXPECT_EQ(CommandLineAddress("~/pages/a #1.html", here, home),
              "file://" + home + "/pages/a%20%231.html");
    EXPECT_EQ(CommandLineAddress(home + "/pages/a #1.html", "", home),
              "file://" + home + "/pages/a%20%231.html");
    EXPECT_EQ(CommandLineAddress("127.0.0.1:8080/check", here, home),
              "http://127.0.0.1:8080/check");
    EXPECT_EQ(CommandLineAddress("web.example", here, home), "http://web.example/");
    // A name that is no file here is a web address, as typed in the box.
    EXPECT_EQ(CommandLineAddress("missing.html", here, home), "http://missing.html/");
    EXPECT_EQ(CommandLineAddress("ftp://ftp.example/quakes/", here, home),
              "ftp://ftp.example/quakes/");
    EXPECT_EQ(CommandLineAddress("about:blank", here, home), "about:blank");
    EXPECT_EQ(CommandLineAddress("", here, home), "");
}

TEST(OpenCommand, TakesTheUrlUpToItsClosingQuote) {
    EXPECT_EQ(ParseOpenCommand("[open(\"http://web.example/quakes/\")]"),
              "http://web.example/quakes/");
    EXPECT_EQ(ParseOpenCommand("[open(\"ftp://ftp.example/a.dat\"anything"),
              "ftp://ftp.example/a.dat");
    EXPECT_EQ(ParseOpenCommand("[open(\"\")]"), "");
}

TEST(OpenCommand, OtherFormsAreRefused) {
    EXPECT_FALSE(ParseOpenCommand(""));
    EXPECT_FALSE(ParseOpenCommand("[open(http://x/)]"));
    EXPECT_FALSE(ParseOpenCommand("[OPEN(\"http://x/\")]"));
    EXPECT_FALSE(ParseOpenCommand(" [open(\"http://x/\")]"));
    EXPECT_FALSE(ParseOpenCommand("[open(\"http://x/"));
    EXPECT_FALSE(ParseOpenCommand("[open("));
}

}  // namespace
}  // namespace orvane
