// Profile (INI) files stand-in: one key read or written the way the Windows
// profile functions do it. Section and key names compare without regard to
// ASCII case; blanks around names and values are ignored. Texts are UTF-8.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform::profile {

// The key's value (one pair of surrounding double quotes removed); fallback
// when the file, the section or the key is missing. The first matching
// section and key win.
std::string readString(const std::string& file, const std::string& section, const std::string& key,
                       const std::string& fallback);

// Sets the key, adding the section at the end and the key at the end of its
// section when missing; creates the file (0600) when it does not exist. Every
// other line, a UTF-8 BOM, the file's line ends (CRLF for a new file) and its
// mode stay. Saved atomically (fileio::replaceFile). False for an empty
// section or key, names that would break the line format, or when the file
// cannot be read or saved.
bool writeString(const std::string& file, const std::string& section, const std::string& key, const std::string& value);

// The same for several keys of one section, in order, in one save: a reader
// or a kill never sees some of them changed and others not. Nothing is
// written when any name or value is refused.
bool writeStrings(const std::string& file, const std::string& section,
                  const std::vector<std::pair<std::string, std::string>>& values);

} // namespace platform::profile
