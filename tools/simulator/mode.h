#pragma once
// Reply modes, set per endpoint through POST /__sim/mode.

#include <optional>
#include <string>
#include <utility>

namespace zavmo::sim {

struct Mode
{
    enum Kind { Success, Error, BadJson, Http500, Cut, Stall, Delay, Reply, Own };
    Mode(Kind k = Success, int v = 0, std::string name = std::string()) : kind(k), value(v), variant(std::move(name)) {}

    Kind kind = Success;
    int value = 0; // error code of Error, milliseconds of Delay
    // The endpoint's named reply of Reply; the whole text of an endpoint's own mode of Own.
    std::string variant;

    std::string text() const;
};

// "success", "error:N" (any int), "badjson", "http500", "cut", "stall",
// "delay:MS" (0 to kMaxDelayMs), "reply:NAME" (NAME of letters, digits and
// "_"; whether the endpoint has that reply is checked by the server); nullopt
// for anything else.
std::optional<Mode> parseMode(const std::string& text);

constexpr int kMaxDelayMs = 120000;
// How long "stall" holds a reply before cutting the connection, unless the
// simulator stops or is reset first.
constexpr int kStallMs = 30000;

} // namespace zavmo::sim
