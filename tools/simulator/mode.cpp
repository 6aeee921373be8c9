#include "mode.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace zavmo::sim {

namespace {

std::optional<long> parseInt(const std::string& text)
{
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT_MIN || v > INT_MAX)
        return std::nullopt;
    return v;
}

} // namespace

std::string Mode::text() const
{
    switch (kind) {
    case Success:
        return "success";
    case Error:
        return "error:" + std::to_string(value);
    case BadJson:
        return "badjson";
    case Http500:
        return "http500";
    case Cut:
        return "cut";
    case Stall:
        return "stall";
    case Delay:
        return "delay:" + std::to_string(value);
    case Own:
        return own;
    }
    return "success";
}

std::optional<Mode> parseMode(const std::string& text)
{
    if (text == "success")
        return Mode{Mode::Success, 0};
    if (text == "badjson")
        return Mode{Mode::BadJson, 0};
    if (text == "http500")
        return Mode{Mode::Http500, 0};
    if (text == "cut")
        return Mode{Mode::Cut, 0};
    if (text == "stall")
        return Mode{Mode::Stall, 0};
    if (text.rfind("error:", 0) == 0) {
        if (const auto n = parseInt(text.substr(6)))
            return Mode{Mode::Error, static_cast<int>(*n)};
        return std::nullopt;
    }
    if (text.rfind("delay:", 0) == 0) {
        const auto n = parseInt(text.substr(6));
        if (n && *n >= 0 && *n <= kMaxDelayMs)
            return Mode{Mode::Delay, static_cast<int>(*n)};
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace zavmo::sim
