#pragma once
// Text codecs the simulator's endpoints decode requests with. They are kept
// strict where a lenient decoder would hide a client fault.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zavmo::sim {

// Replaces each "%XX" by its byte. "+" stays "+" (the analytics writers send
// Base64 unescaped, where a form decoder would turn "+" into a blank); a "%"
// not followed by two hexadecimal digits stays as it is.
std::string percentDecode(const std::string& text);

// Splits "a=1&b=2" on "&" and the first "=" of each part, percent-decoding
// names and values with percentDecode. A part without "=" gets an empty value;
// empty parts are skipped. Order is kept, repeated names included.
std::vector<std::pair<std::string, std::string>> parseForm(const std::string& body);

// A URL query: like parseForm, but "+" stands for a blank as in any form
// decoder.
std::vector<std::pair<std::string, std::string>> parseQuery(const std::string& query);

// Standard-alphabet Base64 with "=" fill to a multiple of four characters;
// anything else (blanks, line breaks, URL-safe letters, missing fill) fails.
std::optional<std::string> base64Decode(const std::string& text);
std::string base64Encode(const std::string& data);

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool isValidUtf8(const std::string& text);

// The media type of a Content-Type value: the part before ";", trimmed and
// lower-cased.
std::string mediaType(const std::string& contentType);

} // namespace zavmo::sim
