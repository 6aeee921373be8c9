#include "zipbuilder.h"

#include <zip.h>

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tresk::test {

unsigned long unixAttributes(unsigned mode)
{
    return (static_cast<unsigned long>(mode) << 16) | (S_ISDIR(mode) ? 0x10 : 0);
}

void writeZip(const std::string& path, const std::vector<ZipEntry>& entries)
{
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip)
        throw std::runtime_error("cannot create " + path);
    for (const ZipEntry& e : entries) {
        zip_fileinfo info{};
        info.external_fa = e.attributes;
        const int method = e.deflate ? Z_DEFLATED : 0;
        if (zipOpenNewFileInZip4_64(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method,
                                    e.deflate ? Z_DEFAULT_COMPRESSION : 0, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                    Z_DEFAULT_STRATEGY, nullptr, 0, e.madeBy, e.utf8Name ? 0x800 : 0, 0) != ZIP_OK ||
            (!e.data.empty() &&
             zipWriteInFileInZip(zip, e.data.data(), static_cast<unsigned>(e.data.size())) != ZIP_OK) ||
            zipCloseFileInZip(zip) != ZIP_OK) {
            zipClose(zip, nullptr);
            throw std::runtime_error("cannot add " + e.name);
        }
    }
    if (zipClose(zip, nullptr) != ZIP_OK)
        throw std::runtime_error("cannot close " + path);
}

void patchCentralSize(const std::string& path, const std::string& name, uint32_t size)
{
    std::string bytes = readFile(path);
    const std::string signature("PK\x01\x02", 4);
    for (size_t at = bytes.find(signature); at != std::string::npos; at = bytes.find(signature, at + 4)) {
        if (at + 46 > bytes.size())
            break;
        const auto u16 = [&](size_t off) {
            return static_cast<size_t>(static_cast<unsigned char>(bytes[at + off])) |
                   static_cast<size_t>(static_cast<unsigned char>(bytes[at + off + 1])) << 8;
        };
        if (bytes.compare(at + 46, u16(28), name) != 0 || u16(28) != name.size())
            continue;
        for (int i = 0; i < 4; ++i)
            bytes[at + 24 + i] = static_cast<char>((size >> (8 * i)) & 0xff);
        writeFile(path, bytes);
        return;
    }
    throw std::runtime_error("no central record for " + name);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path);
}

} // namespace tresk::test
