#include "tests/transfer/real_servers.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/platform/child_process.h"
#include "tests/transfer/transfer_harness.h"

extern char** environ;

namespace orvane::testing {

namespace {

std::string ScriptFolder() {
    return std::string(ORVANE_SOURCE_DIR) + "/tools/transfer_servers/";
}

std::vector<std::string> Environment(const std::map<std::string, std::string>& extra) {
    std::map<std::string, std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        auto equals = text.find('=');
        if (equals != std::string::npos)
            merged[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : extra) {
        if (value.empty())
            merged.erase(name);
        else
            merged[name] = value;
    }
    std::vector<std::string> list;
    for (const auto& [name, value] : merged)
        list.push_back(name + "=" + value);
    return list;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

RealServer::RealServer(const std::string& kind, const std::string& root) : kind_(kind) {
    port_ = FreeLoopbackPort();
    ProgramResult result =
        runProgram(ScriptFolder() + "start-server",
                   {kind, root, work_.path(), std::to_string(port_), "600"}, {}, 20000);
    started_ = result.exitStatus == 0;
    failure_ = result.standardError;
}

RealServer::~RealServer() {
    runProgram(ScriptFolder() + "stop-server", {work_ / (kind_ + ".pid")}, {}, 10000);
}

bool ServerInstalled(const std::string& kind) {
    if (kind == "pyftpdlib")
        return std::filesystem::exists("/usr/lib/python3/dist-packages/pyftpdlib");
    for (const char* folder : {"/usr/sbin/", "/usr/bin/", "/usr/local/sbin/"})
        if (std::filesystem::exists(folder + kind))
            return true;
    return false;
}

std::string FetchProgram() {
    return programFolder() + "/orvane-fetch";
}

FetchResult RunFetch(const std::vector<std::string>& arguments,
                     const std::map<std::string, std::string>& environment, int timeoutMs,
                     const std::string& workingFolder) {
    TempFolder outputs;
    std::string outPath = outputs / "out", errPath = outputs / "err";
    std::vector<std::string> argv{FetchProgram()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envp = Environment(environment);
    auto argvPointers = Pointers(argv);
    auto envPointers = Pointers(envp);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT, 0644);
    if (!workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    pid_t pid = -1;
    FetchResult result;
    if (posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, argvPointers.data(),
                    envPointers.data()) == 0) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                status = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (status != -1 && WIFEXITED(status))
            result.exitStatus = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = readFileText(outPath);
    result.err = readFileText(errPath);
    return result;
}

}  // namespace orvane::testing
