#pragma once
// Shared by the Faultmail tests: small file helpers and an outside opinion
// on an archive (Python's zipfile, `unzip -t`).

#include <cstdint>
#include <string>
#include <vector>

namespace faultmailtest {

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& data);
bool exists(const std::string& path);
// A fresh folder under $TMPDIR.
std::string makeTempFolder(const std::string& prefix);
// Bytes that deflate poorly and well, mixed, from a fixed seed.
std::string testData(size_t size, unsigned seed);
uint32_t crcOf(const std::string& data);

struct ZipListEntry
{
    std::string name; // raw bytes as stored
    uint32_t crc = 0;
    uint64_t size = 0;
    bool operator==(const ZipListEntry& o) const { return name == o.name && crc == o.crc && size == o.size; }
};

// Reads every entry with Python's zipfile (which checks each CRC); false with
// the reason in `error` when it refuses the archive.
bool listWithPython(const std::string& archive, std::vector<ZipListEntry>& entries, std::string& error);
// `unzip -t -q`: true when it finds no error; its output in `output`.
bool unzipTest(const std::string& archive, std::string& output);

} // namespace faultmailtest
