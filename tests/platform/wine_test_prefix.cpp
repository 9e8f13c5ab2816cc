#include "tests/platform/wine_test_prefix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <set>

#include "platform/unique_fd.h"

namespace orvane::testing {

using testkit::programFolder;
using testkit::ProgramResult;
using testkit::runProgram;

namespace fs = std::filesystem;

namespace {

constexpr int kPrepareMs = 600000;  // wineboot on a loaded machine
constexpr int kServerMs = 60000;

// Wine's program files, which Wine never writes in a prefix: shared by hard
// links between the copies.
bool sharedByLink(const fs::path& relative) {
    static const std::set<std::string> kImages{".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl",
                                               ".acm", ".tlb", ".nls", ".ax",  ".ds",  ".com"};
    std::string extension = relative.extension().string();
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return *relative.begin() == "drive_c" && kImages.count(extension) > 0;
}

std::string copyPrefix(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::create_directories(to, ec);
    for (fs::recursive_directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
        fs::path relative = it->path().lexically_relative(from);
        fs::path target = to / relative;
        bool onDriveC = *relative.begin() == "drive_c";
        // The user's folders (Desktop, Documents, ...) link to the home of
        // whoever made the prepared prefix: each copy gets folders of its own.
        if (it->is_symlink() && onDriveC)
            fs::create_directory(target, ec);
        else if (it->is_symlink())
            fs::copy_symlink(it->path(), target, ec);
        else if (it->is_directory())
            fs::create_directory(target, ec);
        else if (sharedByLink(relative))
            fs::create_hard_link(it->path(), target, ec);
        else
            fs::copy_file(it->path(), target, ec);
        if (ec)
            return "cannot copy " + it->path().string() + ": " + ec.message();
    }
    return ec ? "cannot copy " + from.string() + ": " + ec.message() : "";
}

std::map<std::string, std::string> quietWine(const std::string& prefix) {
    return {{"WINEPREFIX", prefix},
            {"WINEDEBUG", "-all"},
            {"WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d"}};
}

// The prepared prefix of this build folder, made once (under a lock, as
// tests run side by side); empty text when it is there.
std::string prepareTemplate(const std::string& templ) {
    UniqueFd lock(::open((templ + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600));
    if (!lock.valid() || ::flock(lock.get(), LOCK_EX) != 0)
        return "cannot lock " + templ + ".lock";
    if (fs::exists(templ + "/.made"))
        return "";
    std::error_code ec;
    fs::remove_all(templ, ec);
    fs::create_directories(templ + "-home", ec);
    auto variables = quietWine(templ);
    variables["DISPLAY"] = "";
    variables["HOME"] = templ + "-home";
    ProgramResult made = runProgram("/usr/bin/wineboot", {"-i"}, variables, kPrepareMs);
    runProgram("/usr/bin/wineserver", {"-w"}, variables, kServerMs);
    if (made.exitStatus != 0 || !fs::exists(templ + "/system.reg"))
        return "wineboot -i failed (" + std::to_string(made.exitStatus) +
               "): " + made.standardError;
    ::close(::open((templ + "/.made").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    return "";
}

}  // namespace

WineTestPrefix::WineTestPrefix(const std::string& path) : path_(path) {
    std::string templ = programFolder() + "/../tests/wine-prefix-template";
    failure_ = prepareTemplate(templ);
    if (failure_.empty())
        failure_ = copyPrefix(templ, path_);
}

WineTestPrefix::~WineTestPrefix() {
    if (!fs::exists(path_ + "/system.reg"))
        return;
    runProgram("/usr/bin/wineserver", {"-k"}, environment(), kServerMs);
    waitForServerEnd();
}

std::map<std::string, std::string> WineTestPrefix::environment() const {
    return quietWine(path_);
}

ProgramResult WineTestPrefix::wine(const std::vector<std::string>& arguments,
                                   const std::map<std::string, std::string>& extra,
                                   int timeoutMs) const {
    auto variables = environment();
    for (const auto& [name, value] : extra)
        variables[name] = value;
    return runProgram("/usr/bin/wine", arguments, variables, timeoutMs);
}

bool WineTestPrefix::waitForServerEnd(int timeoutMs) const {
    return runProgram("/usr/bin/wineserver", {"-w"}, environment(), timeoutMs).exitStatus == 0;
}

}  // namespace orvane::testing
