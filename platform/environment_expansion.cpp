#include "platform/environment_expansion.h"

#include <cstdlib>

namespace orvane {

std::string expandEnvironmentStrings(std::string_view text, const EnvironmentLookup& lookup) {
    std::string expanded;
    while (!text.empty()) {
        std::size_t open = text.find('%');
        std::size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
        if (close == std::string_view::npos) {
            expanded += text;
            break;
        }
        expanded += text.substr(0, open);
        std::string name(text.substr(open + 1, close - open - 1));
        std::optional<std::string> value = name.empty() ? std::nullopt : lookup(name);
        expanded += value ? *value : std::string(text.substr(open, close - open + 1));
        text.remove_prefix(close + 1);
    }
    return expanded;
}

std::string expandEnvironmentStrings(std::string_view text) {
    return expandEnvironmentStrings(text,
                                    [](const std::string& name) -> std::optional<std::string> {
                                        const char* value = std::getenv(name.c_str());
                                        if (value == nullptr)
                                            return std::nullopt;
                                        return std::string(value);
                                    });
}

}  // namespace orvane
