#pragma once
// Tresk's wide text is UTF-16 (std::u16string). Boost's property trees and
// their JSON writer need wchar_t streams, so a tree holds UTF-16 units one per
// wchar_t: the writer then escapes every unit above 0xFF on its own
// (surrogates included) exactly as with a 16-bit wchar_t.

#include <boost/property_tree/ptree.hpp>

#include <string>

namespace tresk {

using WideTree = boost::property_tree::wptree;

std::wstring toTreeText(const std::u16string& text);
std::u16string fromTreeText(const std::wstring& text);

std::u16string widen(const std::string& ascii);
std::u16string utf8ToWide(const std::string& utf8);
std::string wideToAnsi(const std::u16string& text);
std::u16string ansiToWide(const std::string& ansi);

// The seconds since 1970 (UTC) x 1000 plus the millisecond field of the
// local time, the launcher's time stamp.
long long eventTimeMs();

} // namespace tresk
