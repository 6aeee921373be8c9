#pragma once
// Reply modes, set per endpoint through POST /__sim/mode.

#include <optional>
#include <string>

namespace zavmo::sim {

struct Mode
{
    enum Kind { Success, Error, BadJson, Http500, Cut, Stall, Delay, Own };
    Kind kind = Success;
    int value = 0;        // error code of Error, milliseconds of Delay
    std::string own = {}; // the text of an endpoint's own mode (Own)

    std::string text() const;
};

// "success", "error:N" (any int), "badjson", "http500", "cut", "stall",
// "delay:MS" (0 to kMaxDelayMs); nullopt for anything else.
std::optional<Mode> parseMode(const std::string& text);

constexpr int kMaxDelayMs = 120000;
// How long "stall" holds a reply before cutting the connection, unless the
// simulator stops or is reset first.
constexpr int kStallMs = 30000;

} // namespace zavmo::sim
