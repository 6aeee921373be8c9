#pragma once
// Unpacking of the update package (Update.zip) into the launcher's temporary
// folder, over minizip. Never link QuaZip beside this: it exports minizip's
// symbol names with other behaviour.
//
// The destination and archive paths are UTF-8, as the file system takes them
// (they are local: no peer sees them, and GBK cannot name every folder).
// Entry names are ANSI (GBK) text, as the package stores them; they are
// turned into UTF-8 where a file or folder is opened. An entry whose name
// carries the archive's UTF-8 flag is converted to ANSI first.
//
// What the archive may not do (the entry is refused, reported on standard
// output, and the others go on): names that are absolute ("/" or "\" first),
// that start with a drive letter ("C:"), or that hold a ".." component ("\"
// separates like "/"); entries marked as symbolic links; declared sizes above
// kMaxEntrySize; entries that cannot be read whole or fail their CRC (nothing
// of them is written); paths that pass through a symbolic link or end on one,
// or that end on a file with other hard links.

#include <cstdint>

namespace tresk {

// Largest uncompressed entry that is read (each entry is held whole in memory).
constexpr uint64_t kMaxEntrySize = 256ull << 20;

// Most bytes a package may unpack to in all: an archive that expands without
// end stops there.
constexpr uint64_t kMaxPackageSize = 4ull << 30;

// Host-system byte of "version made by" that means the external attributes
// carry a Unix mode in their upper 16 bits.
constexpr unsigned kZipHostUnix = 3;

// Extracts every entry of the archive into the destination folder. False
// when the archive cannot be opened, or when unpacking stopped: a file could
// not be written whole (a full disk; nothing of it is left), or the next
// file would take the files written past `limit` bytes. Entries refused or
// skipped by the rules here do not change the result.
bool unzipAll(const char* destination, const char* archive, uint64_t limit = kMaxPackageSize);

// How storing one entry ended.
enum class EntryWrite {
    stored,
    skipped,     // refused or left out by the rules here; nothing written
    writeFailed, // the file could not be written whole; what was begun is removed
};

// Stores one entry below the destination folder. A folder is an entry whose
// attributes are 16 (the directory attribute alone; for archives made on Unix
// the low 16 bits are compared): its folder is made (an existing one is
// fine). Anything else is a file: written with the stored Unix mode, or 0755
// when none is stored (a package made on Windows carries none, and its
// updater must be executable). As on Windows, the folders on the way must
// exist already: a file whose folder was not made is skipped. madeBy is the
// entry's "version made by" (its high byte names the host system). data may
// be null when size is 0.
EntryWrite writeZipEntry(const char* name, unsigned long attributes, unsigned long madeBy, const char* data,
                         uint64_t size, const char* destination);

} // namespace tresk
