#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "faultmail/ZipArchive.h"
#include "zip_check.h"

using namespace faultmailtest;

namespace {

uint16_t get16(const std::vector<unsigned char>& b, size_t at)
{
    return uint16_t(b.at(at) | (b.at(at + 1) << 8));
}

uint32_t get32(const std::vector<unsigned char>& b, size_t at)
{
    return uint32_t(get16(b, at)) | (uint32_t(get16(b, at + 2)) << 16);
}

std::string bytesAt(const std::vector<unsigned char>& b, size_t at, size_t n)
{
    return std::string(b.begin() + long(at), b.begin() + long(at + n));
}

std::string inflateRaw(const std::string& data, size_t expected)
{
    std::string out(expected + 16, '\0');
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const int r = inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return r == Z_STREAM_END ? out : "(inflate failed)";
}

// UTC in the process, so modification times map to known MS-DOS fields.
void setMtime(const std::string& path, int year, int month, int day, int hour, int minute, int second)
{
    tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    const time_t when = timegm(&t);
    timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimes(path.c_str(), times), 0);
}

// The parsed end record and the central records it points to.
struct Directory
{
    uint16_t entries = 0;
    uint32_t size = 0, offset = 0;
    std::vector<size_t> records; // offsets of the central records
};

Directory readDirectory(const std::vector<unsigned char>& b)
{
    Directory d;
    const size_t end = b.size() - 22;
    EXPECT_EQ(get32(b, end), 0x06054b50u);
    EXPECT_EQ(get16(b, end + 4), 0); // this volume
    EXPECT_EQ(get16(b, end + 6), 0); // volume of the directory
    d.entries = get16(b, end + 10);
    EXPECT_EQ(get16(b, end + 8), d.entries);
    d.size = get32(b, end + 12);
    d.offset = get32(b, end + 16);
    EXPECT_EQ(get16(b, end + 20), 0); // comment length
    EXPECT_EQ(size_t(d.offset) + d.size, end);
    size_t at = d.offset;
    for (int i = 0; i < d.entries && at < end; ++i) {
        EXPECT_EQ(get32(b, at), 0x02014b50u);
        d.records.push_back(at);
        at += 46 + get16(b, at + 28) + get16(b, at + 30) + get16(b, at + 32);
    }
    EXPECT_EQ(at, end);
    return d;
}

class ZipArchiveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        dir = makeTempFolder("zip");
        ASSERT_FALSE(dir.empty());
    }

    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    // Archives the files into memory; the writer stays readable afterwards.
    const std::vector<unsigned char>& archive(const std::vector<std::string>& files, int level = 1)
    {
        zip.OpenArchive(memory);
        for (const std::string& f : files)
            EXPECT_TRUE(zip.AddFileFromDisk(f, level, false, nullptr, nullptr, 65535)) << f;
        zip.CloseArchive();
        return memory.Bytes();
    }

    std::string dir;
    CZipArchive zip;
    CZipMemoryWriter memory;
};

} // namespace

TEST_F(ZipArchiveTest, OneFileByteByByte)
{
    const std::string content = "Faultmail crash data, crash data, crash data.\n";
    const std::string path = dir + "/report.log";
    writeFile(path, content);
    setMtime(path, 2026, 12, 9, 7, 31, 45);

    // Keep a copy: the writer goes with the archive object.
    const std::vector<unsigned char> b = archive({path});

    // Local header, with CRC and sizes patched in at +14.
    EXPECT_EQ(get32(b, 0), 0x04034b50u);
    EXPECT_EQ(get16(b, 4), 20);
    EXPECT_EQ(get16(b, 6), 6); // level 1: the "superfast" option bits
    EXPECT_EQ(get16(b, 8), 8);
    EXPECT_EQ(get16(b, 10), (45 >> 1) + (31 << 5) + (7 << 11));
    EXPECT_EQ(get16(b, 12), 9 + (12 << 5) + ((2026 - 1980) << 9));
    EXPECT_EQ(get32(b, 14), crcOf(content));
    const uint32_t compressed = get32(b, 18);
    EXPECT_EQ(get32(b, 22), content.size());
    EXPECT_EQ(get16(b, 26), 10);
    EXPECT_EQ(get16(b, 28), 0);
    EXPECT_EQ(bytesAt(b, 30, 10), "report.log");
    EXPECT_EQ(inflateRaw(bytesAt(b, 40, compressed), content.size()), content);

    const Directory d = readDirectory(b);
    ASSERT_EQ(d.entries, 1);
    EXPECT_EQ(d.offset, 40 + compressed);
    EXPECT_EQ(d.size, 46u + 10);
    const size_t c = d.records[0];
    EXPECT_EQ(get16(b, c + 4), 0x0014); // made by: 2.0, MS-DOS
    EXPECT_EQ(get16(b, c + 6), 0x0014);
    // Flags through uncompressed size equal the finished local header.
    EXPECT_EQ(bytesAt(b, c + 8, 20), bytesAt(b, 6, 20));
    EXPECT_EQ(get16(b, c + 28), 10);
    EXPECT_EQ(get16(b, c + 30), 0);
    EXPECT_EQ(get16(b, c + 32), 0);
    EXPECT_EQ(get16(b, c + 34), 0);
    EXPECT_EQ(get16(b, c + 36), 0);
    EXPECT_EQ(get32(b, c + 38), 0x20u); // archive attribute
    EXPECT_EQ(get32(b, c + 42), 0u);
    EXPECT_EQ(bytesAt(b, c + 46, 10), "report.log");
    EXPECT_TRUE(memory.IsClosed());
}

TEST_F(ZipArchiveTest, EmptyAndStoredEntries)
{
    const std::string empty = dir + "/empty.txt";
    writeFile(empty, "");
    const std::vector<unsigned char> b = archive({empty});
    EXPECT_EQ(get32(b, 14), 0u); // CRC
    EXPECT_EQ(get32(b, 18), 2u);
    EXPECT_EQ(get32(b, 22), 0u);
    EXPECT_EQ(bytesAt(b, 30 + 9, 2), std::string("\x03\x00", 2)); // the empty raw deflate stream

    CZipArchive stored;
    CZipMemoryWriter m;
    stored.OpenArchive(m);
    const std::string path = dir + "/plain.txt";
    writeFile(path, "stored as it is");
    ASSERT_TRUE(stored.AddFileFromDisk(path, 0));
    const std::vector<unsigned char>& s = m.Bytes();
    EXPECT_EQ(get16(s, 6), 0);
    EXPECT_EQ(get16(s, 8), 0);
    EXPECT_EQ(get32(s, 18), 15u);
    EXPECT_EQ(bytesAt(s, 30 + 9, 15), "stored as it is");
    stored.CloseArchive();
}

TEST_F(ZipArchiveTest, DatesAndAttributes)
{
    const std::string old = dir + "/old.dat", future = dir + "/future.dat", locked = dir + "/locked.dat";
    for (const std::string& p : {old, future, locked})
        writeFile(p, "x");
    setMtime(old, 1979, 6, 15, 10, 0, 0);
    setMtime(future, 2200, 3, 4, 5, 6, 8);
    ::chmod(locked.c_str(), 0444);

    const std::vector<unsigned char> b = archive({old, future, locked});
    const Directory d = readDirectory(b);
    ASSERT_EQ(d.entries, 3);
    EXPECT_EQ(get16(b, d.records[0] + 14), 15 + (6 << 5)); // year field 0
    EXPECT_EQ(get16(b, d.records[1] + 14), 4 + (3 << 5) + (127 << 9));
    EXPECT_EQ(get16(b, d.records[1] + 12), (8 >> 1) + (6 << 5) + (5 << 11));
    EXPECT_EQ(get32(b, d.records[2] + 38), 0x21u); // archive + read-only
}

TEST_F(ZipArchiveTest, NamesInTheOemCodePage)
{
    ::mkdir((dir + "/a").c_str(), 0755);
    ::mkdir((dir + "/b").c_str(), 0755);
    const std::string chinese = dir + "/崩溃报告.txt";
    const std::string trail5c = dir + "/嘰.txt"; // a GBK trail byte of 0x5C
    const std::string outside = dir + "/crash😀.txt";
    const std::string backslash = dir + "/sub\\inner.txt"; // "\" separates too
    for (const std::string& p : {chinese, trail5c, outside, backslash, dir + "/a/same.txt", dir + "/b/same.txt"})
        writeFile(p, p);

    const std::vector<unsigned char> b =
        archive({chinese, trail5c, outside, backslash, dir + "/a/same.txt", dir + "/b/same.txt"});
    const Directory d = readDirectory(b);
    ASSERT_EQ(d.entries, 6);
    auto nameOf = [&](int i) { return bytesAt(b, d.records[i] + 46, get16(b, d.records[i] + 28)); };
    EXPECT_EQ(nameOf(0), "\xB1\xC0\xC0\xA3\xB1\xA8\xB8\xE6.txt");
    EXPECT_EQ(nameOf(1), "\x87\x5C.txt"); // the 0x5C byte stays
    EXPECT_EQ(nameOf(2), "crash?.txt");
    EXPECT_EQ(nameOf(3), "inner.txt");
    EXPECT_EQ(nameOf(4), "same.txt");
    EXPECT_EQ(nameOf(5), "same.txt");
    // The local headers carry the same names.
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(bytesAt(b, get32(b, d.records[i] + 42) + 30, get16(b, d.records[i] + 28)), nameOf(i));

    // Backslashes become "/" only outside double-byte characters.
    EXPECT_EQ(CZipCentralDir::ConvertFileName("dir\\\x87\x5C\\x"), "dir/\x87\x5C/x");
}

TEST_F(ZipArchiveTest, LargeEntriesArePatchedBehindTheWriteBuffer)
{
    // Several 64 KiB buffers of data per entry: the CRC patch must reach a
    // header that has long left the write buffer.
    const std::string first = dir + "/first.bin", second = dir + "/second.bin";
    const std::string a = testData(700000, 1), c = testData(300001, 2);
    writeFile(first, a);
    writeFile(second, c);
    const std::vector<unsigned char> b = archive({first, second});
    const Directory d = readDirectory(b);
    ASSERT_EQ(d.entries, 2);
    const std::string* contents[] = {&a, &c};
    for (int i = 0; i < 2; ++i) {
        const size_t local = get32(b, d.records[i] + 42);
        EXPECT_EQ(bytesAt(b, local + 14, 12), bytesAt(b, d.records[i] + 16, 12));
        EXPECT_EQ(get32(b, local + 14), crcOf(*contents[i]));
        const uint32_t size = get32(b, local + 18);
        EXPECT_EQ(inflateRaw(bytesAt(b, local + 30 + get16(b, local + 26), size), contents[i]->size()), *contents[i]);
    }
}

TEST_F(ZipArchiveTest, RefusedSourcesWriteNothing)
{
    const std::string fifo = dir + "/pipe", folder = dir + "/folder", good = dir + "/good.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ::mkdir(folder.c_str(), 0755);
    writeFile(good, "good");

    CZipMemoryWriter m;
    zip.OpenArchive(m);
    EXPECT_FALSE(zip.AddFileFromDisk(dir + "/missing.txt", 1));
    EXPECT_FALSE(zip.AddFileFromDisk(fifo, 1)); // returns instead of blocking on the FIFO
    EXPECT_FALSE(zip.AddFileFromDisk(folder, 1));
    EXPECT_FALSE(zip.AddFileFromDisk(good, 1, false, nullptr, nullptr, 0));
    EXPECT_FALSE(zip.AddFileFromDisk(dir + "/", 1)); // empty name
    EXPECT_TRUE(m.Bytes().empty());
    EXPECT_EQ(zip.GetCount(), 0u);
    EXPECT_TRUE(zip.AddFileFromDisk(good, 1));
    zip.CloseArchive();
    EXPECT_EQ(readDirectory(m.Bytes()).entries, 1);
    EXPECT_TRUE(zip.IsClosed());
    EXPECT_FALSE(zip.AddFileFromDisk(good, 1)); // closed
}

TEST_F(ZipArchiveTest, FourGiBIsAnErrorNotACorruptArchive)
{
    const std::string small = dir + "/small.txt";
    writeFile(small, testData(5000, 3));

    // The entry fits below 4 GiB, the central directory would not.
    CZipMemoryWriter nearLimit(0xFFFFFFFFull - 2000);
    zip.OpenArchive(nearLimit);
    EXPECT_TRUE(zip.AddFileFromDisk(small, 1));
    try {
        zip.CloseArchive();
        FAIL() << "an archive past 4 GiB was written";
    } catch (const CZipException& e) {
        EXPECT_EQ(e.m_iCause, CZipException::generic);
    }
    zip.CloseArchive(true);
    EXPECT_TRUE(zip.IsClosed());

    // No room for another local header.
    CZipArchive full;
    CZipMemoryWriter atLimit(0xFFFFFFFFull);
    full.OpenArchive(atLimit);
    EXPECT_THROW(full.AddFileFromDisk(small, 1), CZipException);
    full.CloseArchive(true);

    // A source of 4 GiB is refused before anything is read (a sparse file).
    const std::string huge = dir + "/huge.bin";
    writeFile(huge, "");
    ASSERT_EQ(::truncate(huge.c_str(), 0x100000000ll), 0);
    CZipArchive big;
    CZipMemoryWriter m;
    big.OpenArchive(m);
    EXPECT_THROW(big.AddFileFromDisk(huge, 1), CZipException);
    EXPECT_TRUE(m.Bytes().empty());
    big.CloseArchive(true);
}

TEST_F(ZipArchiveTest, AbandoningWritesNothingMore)
{
    const std::string path = dir + "/data.bin";
    writeFile(path, testData(1000, 4));
    CZipMemoryWriter m;
    zip.OpenArchive(m);
    ASSERT_TRUE(zip.AddFileFromDisk(path, 1));
    const std::vector<unsigned char> before = m.Bytes();
    zip.CloseArchive(true);
    EXPECT_EQ(m.Bytes(), before); // no central directory, no end record
    EXPECT_TRUE(m.IsClosed());
}

TEST_F(ZipArchiveTest, AnEmptyWriteToAnEmptyMemoryWriterCopiesNothing)
{
    CZipMemoryWriter m; // its vector holds no block yet: nothing may be copied to it (UBSan)
    m.Write("", 0);
    EXPECT_TRUE(m.Bytes().empty());
}

TEST_F(ZipArchiveTest, FileArchiveReadByUnzipAndPython)
{
    const std::string archivePath = dir + "/out.zip";
    // Creating over an existing, longer file: its old content is gone.
    writeFile(archivePath, std::string(3000000, 'J'));

    const std::string names[] = {"crash.dmp", "崩溃.log", "empty.ini"};
    const std::string contents[] = {testData(400000, 5), testData(777, 6), ""};
    for (int i = 0; i < 3; ++i)
        writeFile(dir + "/" + names[i], contents[i]);

    CZipArchive file;
    file.OpenArchive(archivePath, CZipArchive::zipCreate, 0);
    for (const std::string& n : names)
        ASSERT_TRUE(file.AddFileFromDisk(dir + "/" + n, 1));
    file.CloseArchive();

    std::string output;
    EXPECT_TRUE(unzipTest(archivePath, output)) << output;
    std::vector<ZipListEntry> entries;
    std::string error;
    ASSERT_TRUE(listWithPython(archivePath, entries, error)) << error;
    const std::vector<ZipListEntry> expected = {
        {"crash.dmp", crcOf(contents[0]), contents[0].size()},
        {"\xB1\xC0\xC0\xA3.log", crcOf(contents[1]), contents[1].size()},
        {"empty.ini", 0, 0},
    };
    EXPECT_EQ(entries, expected);

    struct stat st
    {
    };
    ASSERT_EQ(::stat(archivePath.c_str(), &st), 0);
    EXPECT_LT(st.st_size, 3000000);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ZipArchiveTest, UnwritableArchiveThrowsFileException)
{
    CZipArchive file;
    try {
        file.OpenArchive(dir + "/no/such/folder/out.zip");
        FAIL() << "created an archive in a missing folder";
    } catch (const CFileException& e) {
        EXPECT_EQ(e.m_lOsError, ENOENT);
    }
    EXPECT_TRUE(file.IsClosed());

    // A full disk while writing: the error reaches the caller.
    const std::string path = dir + "/data.bin";
    writeFile(path, testData(200000, 7));
    CZipArchive full;
    full.OpenArchive("/dev/full");
    EXPECT_THROW(
        {
            full.AddFileFromDisk(path, 1);
            full.CloseArchive();
        },
        CFileException);
    full.CloseArchive(true);
}

TEST_F(ZipArchiveTest, EntriesOfMixedLevelsEachInflate)
{
    // The zlib stream is reused between entries of one level: each entry
    // must still be a stream of its own.
    const int levels[] = {1, 1, 9, 0, 1};
    std::vector<std::string> contents;
    CZipMemoryWriter m;
    zip.OpenArchive(m);
    for (int i = 0; i < 5; ++i) {
        contents.push_back(testData(20000 + 1000 * size_t(i), 30 + unsigned(i)));
        const std::string path = dir + "/f" + std::to_string(i);
        writeFile(path, contents.back());
        ASSERT_TRUE(zip.AddFileFromDisk(path, levels[i]));
    }
    zip.CloseArchive();
    const std::vector<unsigned char>& b = m.Bytes();
    const Directory d = readDirectory(b);
    ASSERT_EQ(d.entries, 5);
    for (int i = 0; i < 5; ++i) {
        const size_t local = get32(b, d.records[i] + 42);
        const std::string data = bytesAt(b, local + 32, get32(b, local + 18));
        EXPECT_EQ(get16(b, local + 8), levels[i] == 0 ? 0 : 8);
        EXPECT_EQ(levels[i] == 0 ? data : inflateRaw(data, contents[i].size()), contents[i]) << i;
    }
}

TEST_F(ZipArchiveTest, ProgressCallbackAndOverlongNames)
{
    // A callback that says stop ends the entry with what was read so far.
    const std::string path = dir + "/big.bin";
    const std::string data = testData(200000, 40);
    writeFile(path, data);
    struct Seen
    {
        uint64_t total = 0, done = 0;
    } seen;
    auto stopAfterFirst = [](uint64_t total, uint64_t done, void* user) {
        auto* s = static_cast<Seen*>(user);
        s->total = total;
        s->done = done;
        return false;
    };
    CZipMemoryWriter m;
    zip.OpenArchive(m);
    ASSERT_TRUE(zip.AddFileFromDisk(path, 1, false, stopAfterFirst, &seen, 65535));
    EXPECT_EQ(seen.total, data.size());
    EXPECT_EQ(seen.done, 65535u);

    // A name the format cannot hold: refused, and the archive stays valid.
    CZipFileHeader header;
    header.m_pszFileName = std::string(70000, 'n');
    try {
        zip.BeginEntry(header, 1, nullptr);
        FAIL() << "an over-long name was written";
    } catch (const CZipException& e) {
        EXPECT_EQ(e.m_iCause, CZipException::tooLongFileName);
    }
    zip.CloseArchive();

    const std::vector<unsigned char>& b = m.Bytes();
    EXPECT_EQ(readDirectory(b).entries, 1);
    EXPECT_EQ(get32(b, 22), 65535u); // uncompressed size of the cut entry
    EXPECT_EQ(get32(b, 14), crcOf(data.substr(0, 65535)));
}
