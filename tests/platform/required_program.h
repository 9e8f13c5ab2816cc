#pragma once

#include <gtest/gtest.h>

#include <string>

namespace orvane::testing {

// Success when the program is there; otherwise a failure that names the
// Debian package to install. Tests use it as ASSERT_TRUE(...) in a fixture's
// SetUp or at the top of a test body, so that a missing program ends the test
// as a failure rather than a skip.
::testing::AssertionResult programInstalled(const std::string& name);

}  // namespace orvane::testing
