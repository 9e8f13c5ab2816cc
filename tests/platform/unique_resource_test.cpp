// The owner of a file descriptor (the same template owns Win32 handles):
// closed exactly once, by whoever holds it last.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

#include "platform/unique_fd.h"

namespace orvane {
namespace {

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, ClosesWhatItHoldsLastAndNothingItGaveAway) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    int readEnd = ends[0], writeEnd = ends[1];
    {
        UniqueFd first(readEnd);
        UniqueFd second(std::move(first));
        EXPECT_FALSE(first.valid());
        EXPECT_EQ(second.get(), readEnd);
        first = std::move(second);
        EXPECT_TRUE(isOpen(readEnd)) << "a move never closes";
    }
    EXPECT_FALSE(isOpen(readEnd));

    int released;
    {
        UniqueFd owner(writeEnd);
        released = owner.release();
        EXPECT_FALSE(owner.valid());
    }
    EXPECT_TRUE(isOpen(released)) << "a released descriptor is the caller's";
    UniqueFd(released).reset();
    EXPECT_FALSE(isOpen(released));
}

}  // namespace
}  // namespace orvane
