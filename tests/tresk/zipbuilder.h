#pragma once
// Writes zip archives for the unpacking tests with minizip's writer: entries
// with chosen names, attributes and host systems, and byte patches of the
// result for damaged or hostile archives.

#include <cstdint>
#include <string>
#include <vector>

namespace tresk::test {

struct ZipEntry
{
    std::string name; // bytes as stored
    std::string data;
    unsigned long attributes = 0x20; // the archive bit, as Windows tools set it
    unsigned long madeBy = 0;        // high byte 0: made on Windows; 3 << 8: Unix
    bool utf8Name = false;           // general purpose bit 11
    bool deflate = false;
};

// A Unix entry's attributes: the mode in the upper 16 bits, plus the
// directory attribute for folders as Info-ZIP writes it.
unsigned long unixAttributes(unsigned mode);
constexpr unsigned long kMadeOnUnix = 3ul << 8;

// Writes the archive; throws std::runtime_error on failure.
void writeZip(const std::string& path, const std::vector<ZipEntry>& entries);

// Sets the uncompressed size in the central directory record of the
// entry named `name` (what readers check before they allocate).
void patchCentralSize(const std::string& path, const std::string& name, uint32_t size);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& data);

} // namespace tresk::test
