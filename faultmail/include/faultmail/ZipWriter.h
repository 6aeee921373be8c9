#pragma once
// Where the archive's bytes go. The archive writes sequentially, except that
// it moves back once per entry to patch the CRC and sizes into the local
// header; a writer therefore only needs to write at a position and to move.
// Failures are thrown as CFileException.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CZipWriter
{
public:
    virtual ~CZipWriter() = default;

    // Writes at the current position, overwriting what lies there, and
    // advances the position.
    virtual void Write(const void* data, size_t size) = 0;
    // Moves to an absolute position not beyond the end written so far.
    virtual void Seek(uint64_t position) = 0;
    virtual uint64_t Position() const = 0;
    // Ends writing; a failure to commit the bytes is reported here. Close()
    // after Close() does nothing.
    virtual void Close() = 0;
    // The name used in exceptions (the archive's path, or a label).
    virtual const std::string& Name() const = 0;
};

// A file, created anew (an existing file of that name is truncated) with mode
// 0600: the archive carries crash data.
class CZipFileWriter : public CZipWriter
{
public:
    // Throws CFileException when the file cannot be created.
    explicit CZipFileWriter(const std::string& path);
    ~CZipFileWriter() override; // closes without reporting

    void Write(const void* data, size_t size) override;
    void Seek(uint64_t position) override;
    uint64_t Position() const override { return m_position; }
    void Close() override;
    const std::string& Name() const override { return m_path; }

private:
    std::string m_path;
    int m_fd = -1;
    uint64_t m_position = 0;
};

// Bytes in memory, for tests. `base` makes positions start at that value (the
// bytes are still stored from index 0), so that tests can place an archive
// near the 4 GiB limit without writing 4 GiB.
class CZipMemoryWriter : public CZipWriter
{
public:
    explicit CZipMemoryWriter(uint64_t base = 0) : m_base(base) {}

    void Write(const void* data, size_t size) override;
    void Seek(uint64_t position) override;
    uint64_t Position() const override { return m_base + m_position; }
    void Close() override { m_closed = true; }
    const std::string& Name() const override { return m_name; }

    const std::vector<unsigned char>& Bytes() const { return m_bytes; }
    bool IsClosed() const { return m_closed; }

private:
    uint64_t m_base;
    std::vector<unsigned char> m_bytes;
    size_t m_position = 0;
    bool m_closed = false;
    std::string m_name = "(memory)";
};
