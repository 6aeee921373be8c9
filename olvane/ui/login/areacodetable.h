#pragma once
// The dialing codes the login dialog offers for a phone login: a constant
// table of kAreaCodeCount rows in a fixed order (not sorted at run time),
// built before main and never changed. Several rows share a code (+1, +7,
// +590, +599); every row stays.

#include <QString>

#include <array>

struct AreaCodeEntry
{
    // Two blanks, the region's name, blanks, then the code, e.g.
    // "  中国大陆<44 blanks>+86".
    QString text;
    // "+" and the digits that end the text, e.g. "+86".
    QString code;
};

constexpr int kAreaCodeCount = 234;

extern const std::array<AreaCodeEntry, kAreaCodeCount> areaCodeTable;
