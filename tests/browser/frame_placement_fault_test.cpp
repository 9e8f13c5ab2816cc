// Frame placements read back from a damaged settings file.
#include <gtest/gtest.h>

#include <climits>

#include "browser/frame_placement.h"

namespace orvane {
namespace {

TEST(FramePlacementFaults, ASizeThatDoesNotFitAnIntIsIgnored) {
    // Width 4000000000: right - left would overflow where the window is sized.
    EXPECT_FALSE(FramePlacement::Parse("-1 -1 -1 -1 -2000000000 0 2000000000 10"));
    EXPECT_FALSE(FramePlacement::Parse("-1 -1 -1 -1 0 -2147483648 10 2147483647"));
    // The widest and tallest windows that still fit are kept.
    auto widest = FramePlacement::Parse("-1 -1 -1 -1 -1 -1 2147483646 2147483646");
    ASSERT_TRUE(widest);
    EXPECT_EQ(static_cast<long long>(widest->right) - widest->left, INT_MAX);
    EXPECT_EQ(static_cast<long long>(widest->bottom) - widest->top, INT_MAX);
}

TEST(FramePlacementFaults, NumbersPastIntAndGarbageAreIgnored) {
    EXPECT_FALSE(FramePlacement::Parse("0 0 0 0 0 0 99999999999 10"));
    EXPECT_FALSE(FramePlacement::Parse(std::string("0 0 0 0 0 0 10\0 10", 18)));
    EXPECT_FALSE(FramePlacement::Parse("\xff\xfe 0 0 0 0 0 10 10"));
    EXPECT_TRUE(FramePlacement::Parse("0 0 0 0 0 0 10 10 trailing words"));
}

}  // namespace
}  // namespace orvane
