#include "browser/platform_world.h"

#include <cstdio>

#include "platform/dde/dde_client.h"
#include "platform/dde/dde_server.h"
#include "platform/program_start.h"
#include "platform/window_titles.h"

namespace orvane {

PlatformWorld::PlatformWorld() = default;
PlatformWorld::~PlatformWorld() = default;

bool PlatformWorld::AnyWindowTitleContains(std::string_view text) {
    return anyWindowTitleContains(text);
}

DdeOutcome PlatformWorld::DdeExecute(std::string_view service, std::string_view topic,
                                     std::string_view command) {
    return ddeExecute(service, topic, command);
}

int PlatformWorld::StartProgram(const std::string& program,
                                const std::vector<std::string>& arguments) {
    return startProgram(program, arguments);
}

bool PlatformWorld::ServeDde(const std::string& service, const std::string& topic,
                             DdeHandler handler) {
    std::string error;
    auto server = DdeServer::start(
        service, topic,
        [handler = std::move(handler)](const std::string&, const std::string& command) {
            return handler(command);
        },
        error);
    if (!server) {
        // Other programs then cannot send us URLs; the browser still works.
        std::fprintf(stderr, "orvaneexplorer: DDE service %s not available: %s\n", service.c_str(),
                     error.c_str());
        return false;
    }
    servers_.push_back(std::move(server));
    return true;
}

}  // namespace orvane
