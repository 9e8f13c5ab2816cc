#include "browser/command_line.h"

#include <gtest/gtest.h>

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
