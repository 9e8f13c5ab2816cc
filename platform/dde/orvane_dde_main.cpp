// orvane-dde SERVICE TOPIC COMMAND: sends one DDE execute command to a
// running program of this user, for scripts and for trying the programs'
// DDE servers by hand.

#include <cstdio>
#include <string>

#include "platform/dde/dde_client.h"
#include "platform/orvane_version.h"

namespace {

constexpr int kDelivered = 0;
constexpr int kNotDelivered = 1;
constexpr int kUsage = 2;

constexpr char kUsageText[] =
    "usage: orvane-dde SERVICE TOPIC COMMAND\n"
    "Sends COMMAND as a DDE execute command to SERVICE on TOPIC.\n"
    "Exit status 0: delivered; 1: no conversation made or command not sent; 2: usage.\n";

void printUsage() {
    std::fputs(kUsageText, stderr);
}

// --help and --version answer on standard output and succeed; -1 otherwise.
int answerAboutItself(const std::string& argument) {
    if (argument == "--help" || argument == "-h")
        return std::fputs(kUsageText, stdout) < 0 ? kNotDelivered : kDelivered;
    if (argument == "--version")
        return std::printf("orvane-dde %s\n", orvane::kOrvaneVersion) < 0 ? kNotDelivered
                                                                          : kDelivered;
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (int status = argc == 2 ? answerAboutItself(argv[1]) : -1; status >= 0)
        return status;
    if (argc != 4) {
        printUsage();
        return kUsage;
    }
    std::string service = argv[1];
    orvane::DdeOutcome outcome = orvane::ddeExecute(service, argv[2], argv[3]);
    if (!outcome.delivered()) {
        std::fprintf(stderr, "orvane-dde: %s\n", outcome.failure.c_str());
        return kNotDelivered;
    }
    if (!outcome.commandHandled)
        std::fprintf(stderr, "orvane-dde: no verdict from service \"%s\" in time\n",
                     service.c_str());
    else if (!*outcome.commandHandled)
        std::fprintf(stderr, "orvane-dde: service \"%s\" did not handle the command\n",
                     service.c_str());
    return kDelivered;
}
