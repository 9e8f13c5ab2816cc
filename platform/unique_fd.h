#pragma once

#include <unistd.h>

#include "platform/unique_resource.h"

namespace orvane {

struct FdTraits {
    using Resource = int;
    static constexpr int none() { return -1; }
    static bool valid(int fd) { return fd >= 0; }
    static void close(int fd) { ::close(fd); }
};

// Owns one file descriptor and closes it when it goes out of scope.
using UniqueFd = UniqueResource<FdTraits>;

}  // namespace orvane
