#include "tools/testkit/temp_folder.h"

#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>

namespace orvane::testkit {

namespace fs = std::filesystem;

namespace {

constexpr int kAttempts = 100;
constexpr int kRandomCharacters = 6;

std::string randomSuffix(std::mt19937& generator) {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    std::string suffix;
    for (int i = 0; i < kRandomCharacters; ++i)
        suffix += kAlphabet[pick(generator)];
    return suffix;
}

}  // namespace

std::string MakeUniqueFolder(const std::string& prefix) {
    std::random_device seed;
    std::mt19937 generator(seed());
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    for (int attempt = 0; !ec && attempt < kAttempts; ++attempt) {
        fs::path candidate = base / (prefix + "-" + randomSuffix(generator));
        // create_directory is false when the name is taken: try another.
        if (fs::create_directory(candidate, ec))
            return candidate.generic_string();
    }
    throw std::runtime_error("cannot create a temporary folder for " + prefix);
}

TempFolder::TempFolder(const std::string& prefix, Access access) : path_(MakeUniqueFolder(prefix)) {
    constexpr auto kEveryone = fs::perms::owner_all | fs::perms::group_read |
                               fs::perms::group_exec | fs::perms::others_read |
                               fs::perms::others_exec;
    std::error_code ec;
    fs::permissions(path_, access == Access::Everyone ? kEveryone : fs::perms::owner_all, ec);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

}  // namespace orvane::testkit
