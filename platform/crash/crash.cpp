// Crash filter and dump writer.
//
// Dump file format (text, one item per line, numbers in hex with "0x" unless
// said otherwise; a dump cut short lacks the final "end" line):
//
//   ZAVMO CRASH DUMP 1
//   program: <path of the executable>
//   version: <application version>
//   pid: <decimal>            tid: <decimal>   (two lines)
//   time: YYYY-MM-DD HH:MM:SS UTC+HHMM         (local time of the crash)
//   signal: <decimal> <name>
//   code: <decimal si_code>
//   address: <si_addr: the faulting data address for SIGSEGV/SIGBUS>
//   pc: <address> <module>+<offset from the module's load base>
//   registers:
//     <name> <value>          (one per line, from the signal's ucontext)
//   frames: <count> <unwind|framechain>
//     #<n> <address> <module>+<offset>
//   stack: <first address> <byte count>   (128 bytes below the stack pointer, 8 KiB in all)
//     <address>: <16 bytes as 32 hex digits>   or   <address>: unreadable
//   map:
//   <the memory map as read at crash time (at install time when that read
//    fails or does not fit), verbatim>
//   end
//
// "frames" comes from the unwinder (backtrace(), run in a forked copy of the
// process so that a fault while unwinding a broken stack cannot take the
// handler down), starting at the faulting frame. When that yields no caller,
// it comes from a frame-pointer walk that reads memory only through a
// fault-free copy and accepts only return addresses inside executable
// mappings of the map. Both stop after kMaxFrames.
//
// Modules load after install (plug-ins, drivers, libssl), so the handler reads
// /proc/self/maps again, with open/read into buffers reserved by install(),
// and parses it with the same code install() uses.

#include "platform/crash.h"
#include "platform/fileio.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

#include <execinfo.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

extern char** environ;

namespace platform::crash {
namespace {

constexpr int kMaxFrames = 64;
constexpr size_t kPathMax = 4096;
constexpr size_t kModuleNameMax = 260; // bounded copy of the faulting module's name
constexpr size_t kStackBelow = 128;    // the x86-64 red zone below the stack pointer
constexpr size_t kStackAbove = 8192 - kStackBelow;
constexpr size_t kAltStackSize = 256 * 1024;
constexpr int kUnwindTimeoutMs = 3000;
constexpr size_t kTimeStampLength = 17; // "YYYY-MMDD-HHMM-SS"
// Crash-time map storage: at least this much, or four times the map at install.
constexpr size_t kMapTextMin = 512 * 1024;
constexpr size_t kMapEntriesMin = 8192;

struct MapEntry
{
    uintptr_t start = 0;
    uintptr_t end = 0;
    uintptr_t loadBase = 0; // start of the file's first mapping minus its file offset
    bool readable = false;
    bool executable = false;
    const char* file = ""; // file name without folder; "" for anonymous memory
    const char* path = ""; // as the map names it ("[stack]", "/usr/lib/...")
};

// A parsed memory map: entries sorted by start, the text they were read from.
struct MemoryMap
{
    const char* text = "";
    size_t textLength = 0;
    const MapEntry* entries = nullptr;
    size_t count = 0;
};

// Storage a map is parsed into; fixed in size so the handler can refill it.
struct MapStorage
{
    std::vector<char> text;
    std::vector<char> names; // NUL-terminated paths the entries point into
    std::vector<MapEntry> entries;
};

// Everything the handler reads. Built by install(), never changed or freed
// afterwards, so reading it needs no lock and no allocation.
struct State
{
    std::string programPath;
    std::string dumpFolder; // without a trailing "/"
    std::string dumpBaseName;
    std::string version;
    std::string reporterPath;
    std::vector<std::string> reporterArgs;
    std::vector<char*> reporterArgv; // null-terminated; the dump slot is set at crash time
    int dumpPathSlot = -1;           // index in reporterArgv
    Messages messages;
    MapStorage installStorage;
    MemoryMap installMap;
    // Filled by the handler only (the one pointer is constant, the bytes not).
    std::unique_ptr<MapStorage> crashStorage;
    long utcOffset = 0;
    bool vmReadWorks = false;
};

std::atomic<const State*> g_state{nullptr};
std::atomic<int> g_entered{0};

// Crash-time buffers. Static: the handler must not allocate.
char g_dumpPath[kPathMax];
char g_faultModule[kModuleNameMax];
char g_message[8192];
uintptr_t g_rawFrames[kMaxFrames + 16];
uintptr_t g_frames[kMaxFrames];
const char* g_frameModules[kMaxFrames];
char g_writeBuffer[8192];

// ---------------------------------------------------------------- helpers

size_t cstrlen(const char* s)
{
    size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalNoCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (lowerAscii(*a) != lowerAscii(*b))
            return false;
    return *a == *b;
}

// Bounded appender into a fixed buffer; keeps the text NUL-terminated.
struct Text
{
    char* buf;
    size_t cap;
    size_t len = 0;
    bool overflow = false;
    Text(char* b, size_t c) : buf(b), cap(c) { buf[0] = 0; }
    void add(const char* s, size_t n)
    {
        for (size_t i = 0; i < n; ++i) {
            if (len + 1 >= cap) {
                overflow = true;
                break;
            }
            buf[len++] = s[i];
        }
        buf[len] = 0;
    }
    void add(const char* s) { add(s, cstrlen(s)); }
    void addDec(long long v, int minDigits = 1)
    {
        char tmp[24];
        int n = 0;
        bool neg = v < 0;
        unsigned long long u = neg ? 0ULL - static_cast<unsigned long long>(v) : v;
        do {
            tmp[n++] = char('0' + u % 10);
            u /= 10;
        } while (u);
        while (n < minDigits)
            tmp[n++] = '0';
        if (neg)
            add("-", 1);
        while (n)
            add(&tmp[--n], 1);
    }
};

// Buffered writer to a file descriptor; does nothing for fd < 0.
struct Writer
{
    int fd;
    size_t pos = 0;
    explicit Writer(int f) : fd(f) {}
    void flush()
    {
        if (fd >= 0)
            platform::fileio::writeAll(fd, g_writeBuffer, pos);
        pos = 0;
    }
    void put(const char* s, size_t n)
    {
        if (fd < 0)
            return;
        for (size_t i = 0; i < n; ++i) {
            if (pos == sizeof g_writeBuffer)
                flush();
            g_writeBuffer[pos++] = s[i];
        }
    }
    void put(const char* s) { put(s, cstrlen(s)); }
    void hex(uint64_t v, int digits = 16, bool prefix = true)
    {
        char tmp[19];
        int n = 0;
        if (prefix) {
            tmp[n++] = '0';
            tmp[n++] = 'x';
        }
        for (int i = digits - 1; i >= 0; --i)
            tmp[n++] = "0123456789abcdef"[(v >> (i * 4)) & 0xf];
        put(tmp, size_t(n));
    }
    // Without leading zeros.
    void hexShort(uint64_t v)
    {
        int digits = 1;
        while (digits < 16 && (v >> (digits * 4)) != 0)
            ++digits;
        hex(v, digits);
    }
    void dec(long long v, int minDigits = 1)
    {
        char tmp[32];
        Text t(tmp, sizeof tmp);
        t.addDec(v, minDigits);
        put(tmp, t.len);
    }
};

// The map the handler uses: the one read at crash time, or the install-time one.
const MemoryMap* g_map = nullptr;

const MapEntry* findMapping(uintptr_t addr)
{
    const MemoryMap& m = *g_map;
    size_t lo = 0, hi = m.count;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        const MapEntry& e = m.entries[mid];
        if (addr < e.start)
            hi = mid;
        else if (addr >= e.end)
            lo = mid + 1;
        else
            return &e;
    }
    return nullptr;
}

bool isExecutable(uintptr_t addr)
{
    const MapEntry* e = findMapping(addr);
    return e && e->executable;
}

bool readableInMap(uintptr_t addr, size_t len)
{
    while (len) {
        const MapEntry* e = findMapping(addr);
        if (!e || !e->readable)
            return false;
        size_t here = e->end - addr;
        if (here >= len)
            return true;
        addr += here;
        len -= here;
    }
    return true;
}

// Copies memory without risking a fault: through process_vm_readv on our own
// process (the kernel reports EFAULT instead of raising a signal), or, where
// that call is refused, only from readable mappings of the map.
bool safeRead(const State& s, uintptr_t addr, void* out, size_t len)
{
    if (s.vmReadWorks) {
        iovec local{out, len};
        iovec remote{reinterpret_cast<void*>(addr), len};
        return syscall(SYS_process_vm_readv, getpid(), &local, 1UL, &remote, 1UL, 0UL) == static_cast<long>(len);
    }
    if (!readableInMap(addr, len))
        return false;
    memcpy(out, reinterpret_cast<const void*>(addr), len);
    return true;
}

const char* signalName(int sig)
{
    switch (sig) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGILL:
        return "SIGILL";
    case SIGFPE:
        return "SIGFPE";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "?";
    }
}

struct Registers
{
    uintptr_t pc = 0, sp = 0, fp = 0;
};

Registers registersOf(const ucontext_t* uc)
{
    Registers r;
#if defined(__x86_64__)
    r.pc = uintptr_t(uc->uc_mcontext.gregs[REG_RIP]);
    r.sp = uintptr_t(uc->uc_mcontext.gregs[REG_RSP]);
    r.fp = uintptr_t(uc->uc_mcontext.gregs[REG_RBP]);
#elif defined(__aarch64__)
    r.pc = uintptr_t(uc->uc_mcontext.pc);
    r.sp = uintptr_t(uc->uc_mcontext.sp);
    r.fp = uintptr_t(uc->uc_mcontext.regs[29]);
#else
    (void)uc;
#endif
    return r;
}

void writeRegisters(Writer& w, const ucontext_t* uc)
{
#if defined(__x86_64__)
    static const struct
    {
        const char* name;
        int index;
    } regs[] = {{"rax", REG_RAX}, {"rbx", REG_RBX}, {"rcx", REG_RCX},    {"rdx", REG_RDX}, {"rsi", REG_RSI},
                {"rdi", REG_RDI}, {"rbp", REG_RBP}, {"rsp", REG_RSP},    {"r8", REG_R8},   {"r9", REG_R9},
                {"r10", REG_R10}, {"r11", REG_R11}, {"r12", REG_R12},    {"r13", REG_R13}, {"r14", REG_R14},
                {"r15", REG_R15}, {"rip", REG_RIP}, {"eflags", REG_EFL}, {"err", REG_ERR}, {"trapno", REG_TRAPNO}};
    for (const auto& r : regs) {
        w.put("  ");
        w.put(r.name);
        w.put(" ");
        w.hex(uint64_t(uc->uc_mcontext.gregs[r.index]));
        w.put("\n");
    }
#elif defined(__aarch64__)
    for (int i = 0; i < 31; ++i) {
        w.put("  x");
        w.dec(i);
        w.put(" ");
        w.hex(uc->uc_mcontext.regs[i]);
        w.put("\n");
    }
    w.put("  sp ");
    w.hex(uc->uc_mcontext.sp);
    w.put("\n  pc ");
    w.hex(uc->uc_mcontext.pc);
    w.put("\n  pstate ");
    w.hex(uc->uc_mcontext.pstate);
    w.put("\n");
#else
    (void)w;
    (void)uc;
#endif
}

void writeLocation(Writer& w, uintptr_t addr)
{
    w.hex(addr);
    const MapEntry* e = findMapping(addr);
    if (e && e->file[0]) {
        w.put(" ");
        w.put(e->file);
        w.put("+");
        w.hexShort(addr - e->loadBase);
    }
}

// ---------------------------------------------------------------- memory map

// Reads the whole file into buf; its length, or -1 when it cannot be read
// or does not fit. Async-signal-safe.
ssize_t readWhole(const char* path, char* buf, size_t cap)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t got = 0;
    ssize_t result = -1;
    for (;;) {
        char probe;
        const bool full = got == cap;
        ssize_t n = full ? read(fd, &probe, 1) : read(fd, buf + got, cap - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            result = ssize_t(got);
        if (n <= 0 || full)
            break;
        got += size_t(n);
    }
    close(fd);
    return result;
}

// Reads a hexadecimal number ending at `stop` (or the end); moves p past it.
bool hexField(const char*& p, const char* end, char stop, uintptr_t& out)
{
    out = 0;
    const char* start = p;
    for (; p < end && *p != stop; ++p) {
        int v = *p >= '0' && *p <= '9' ? *p - '0' : *p >= 'a' && *p <= 'f' ? *p - 'a' + 10 : -1;
        if (v < 0)
            return false;
        out = out * 16 + uintptr_t(v);
    }
    if (p == start)
        return false;
    if (p < end)
        ++p;
    return true;
}

void skipField(const char*& p, const char* end)
{
    while (p < end && *p != ' ')
        ++p;
    while (p < end && *p == ' ')
        ++p;
}

// Parses the text of /proc/self/maps ("start-end perms offset dev inode
// path") into entries, copying the paths into names (at least length + 1
// bytes). The count, or -1 when the entries do not fit. Async-signal-safe:
// used at install and again in the handler.
long parseMapText(const char* text, size_t length, char* names, MapEntry* entries, size_t maxEntries)
{
    static const char kDeleted[] = " (deleted)";
    const size_t deletedLength = sizeof kDeleted - 1;
    size_t count = 0, namePos = 0, pos = 0;
    while (pos < length) {
        size_t eol = pos;
        while (eol < length && text[eol] != '\n')
            ++eol;
        const char* p = text + pos;
        const char* end = text + eol;
        pos = eol + 1;

        MapEntry e;
        uintptr_t offset = 0;
        if (!hexField(p, end, '-', e.start) || !hexField(p, end, ' ', e.end) || end - p < 4)
            continue;
        e.readable = p[0] == 'r';
        e.executable = p[2] == 'x';
        skipField(p, end); // permissions
        if (!hexField(p, end, ' ', offset))
            continue;
        skipField(p, end); // device
        skipField(p, end); // inode
        size_t pathLength = size_t(end - p);
        if (pathLength > deletedLength && memcmp(end - deletedLength, kDeleted, deletedLength) == 0)
            pathLength -= deletedLength;
        if (count == maxEntries)
            return -1;

        char* path = names + namePos;
        memcpy(path, p, pathLength);
        path[pathLength] = 0;
        namePos += pathLength + 1;
        e.path = path;
        e.file = path;
        if (path[0] == '/') {
            for (const char* c = path; *c; ++c)
                if (*c == '/')
                    e.file = c + 1;
        }
        // The load base is that of the file's first mapping.
        e.loadBase = e.start - offset;
        if (path[0] == '/') {
            for (size_t j = 0; j < count; ++j) {
                if (strcmp(entries[j].path, path) == 0) {
                    e.loadBase = entries[j].loadBase;
                    break;
                }
            }
        }
        entries[count++] = e;
    }
    return long(count);
}

// Sizes storage for a map text of `length` bytes and `lines` lines.
void reserveMap(MapStorage& storage, size_t length, size_t lines)
{
    storage.text.resize(length);
    storage.names.resize(length + 1);
    storage.entries.resize(lines);
}

// Reads the map again; the install-time map where that fails or does not
// fit the storage reserved for it.
const MemoryMap* crashTimeMap(const State& s)
{
    static MemoryMap fresh;
    MapStorage* storage = s.crashStorage.get();
    ssize_t n = readWhole("/proc/self/maps", storage->text.data(), storage->text.size());
    if (n <= 0)
        return &s.installMap;
    long count = parseMapText(storage->text.data(), size_t(n), storage->names.data(), storage->entries.data(),
                              storage->entries.size());
    if (count <= 0)
        return &s.installMap;
    fresh = MemoryMap{storage->text.data(), size_t(n), storage->entries.data(), size_t(count)};
    return &fresh;
}

// ---------------------------------------------------------------- frames

// Runs backtrace() in a forked copy of the process: the unwinder may read
// through a broken stack, and a fault there must not end the handler. The
// copy sends the addresses through a pipe; the wait is bounded.
int unwindInChild()
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return 0;
    pid_t child = _Fork();
    if (child == 0) {
        close(fds[0]);
        void* frames[kMaxFrames + 16];
        int n = backtrace(frames, kMaxFrames + 16);
        if (n > 0)
            (void)!write(fds[1], frames, size_t(n) * sizeof(void*));
        _exit(0);
    }
    close(fds[1]);
    size_t got = 0;
    if (child > 0) {
        timespec start;
        clock_gettime(CLOCK_MONOTONIC, &start);
        char* out = reinterpret_cast<char*>(g_rawFrames);
        while (got < sizeof g_rawFrames) {
            timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            long elapsed = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
            if (elapsed >= kUnwindTimeoutMs)
                break;
            pollfd p{fds[0], POLLIN, 0};
            int r = poll(&p, 1, int(kUnwindTimeoutMs - elapsed));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;
            ssize_t n = read(fds[0], out + got, sizeof g_rawFrames - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += size_t(n);
        }
        kill(child, SIGKILL);
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    close(fds[0]);
    return int(got / sizeof(uintptr_t));
}

// Fills g_frames starting at the faulting frame; returns the count.
int collectFrames(const State& s, const Registers& r, bool* unwound)
{
    // The unwinder's list runs through our own handler frames first; the
    // crash's frames start at the faulting pc.
    int raw = unwindInChild();
    for (int i = 0; i < raw; ++i) {
        if (g_rawFrames[i] != r.pc)
            continue;
        int n = 0;
        g_frames[n++] = r.pc;
        for (int j = i + 1; j < raw && n < kMaxFrames; ++j) {
            if (!isExecutable(g_rawFrames[j]))
                break;
            g_frames[n++] = g_rawFrames[j];
        }
        if (n >= 2) {
            *unwound = true;
            return n;
        }
        break; // e.g. a call through a bad pointer: the unwinder cannot go on
    }

    *unwound = false;
    int n = 0;
    g_frames[n++] = r.pc;
    if (!isExecutable(r.pc)) {
        // A call through a bad pointer: the return address is on top of the stack.
        uintptr_t ret = 0;
        if (safeRead(s, r.sp, &ret, sizeof ret) && isExecutable(ret))
            g_frames[n++] = ret;
    }
    uintptr_t fp = r.fp;
    while (n < kMaxFrames) {
        if (fp % sizeof(uintptr_t) != 0 || fp < r.sp || fp - r.sp > (64u << 20))
            break;
        uintptr_t pair[2];
        if (!safeRead(s, fp, pair, sizeof pair))
            break;
        if (!isExecutable(pair[1]))
            break;
        g_frames[n++] = pair[1];
        if (pair[0] <= fp)
            break;
        fp = pair[0];
    }
    return n;
}

// ---------------------------------------------------------------- messages

// Index of the hint that applies, or -1 for the general message.
int pickHint(const Messages& m, const char* faultModule, const char* const* frameModules, int frameCount)
{
    for (const std::string& skip : m.noHintFaultModules)
        if (equalNoCase(faultModule, skip.c_str()))
            return -1;
    for (int f = 0; f < frameCount; ++f) {
        for (size_t h = 0; h < m.hints.size(); ++h) {
            const HintRule& rule = m.hints[h];
            if (!equalNoCase(frameModules[f], rule.frameModule.c_str()))
                continue;
            if (!rule.unlessFaultModule.empty() && equalNoCase(faultModule, rule.unlessFaultModule.c_str()))
                continue;
            return int(h);
        }
    }
    return -1;
}

void formatMessage(Text& t, const Messages& m, int hint, const char* faultModule)
{
    if (!m.caption.empty()) {
        t.add(m.caption.c_str());
        t.add(": ");
    }
    const char* text = hint >= 0 ? m.hints[size_t(hint)].text.c_str() : m.general.c_str();
    for (const char* p = text; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            t.add(faultModule[0] ? faultModule : "?");
            ++p;
        } else {
            t.add(p, 1);
        }
    }
}

// ---------------------------------------------------------------- handler steps

// "<folder>/<base>_YYYY-MMDD-HHMM-SS_<version>.dmp"; no folder: the name alone.
void buildDumpPath(char* out, size_t cap, const char* folder, const char* base, const char* version, const CivilTime& t)
{
    Text p(out, cap);
    if (folder) {
        p.add(folder);
        p.add("/");
    }
    p.add(base);
    p.add("_");
    p.addDec(t.year, 4);
    p.add("-");
    p.addDec(t.month, 2);
    p.addDec(t.day, 2);
    p.add("-");
    p.addDec(t.hour, 2);
    p.addDec(t.minute, 2);
    p.add("-");
    p.addDec(t.second, 2);
    p.add("_");
    p.add(version);
    p.add(".dmp");
}

void writeDump(const State& s, int sig, const siginfo_t* info, const ucontext_t* uc, const Registers& r,
               const CivilTime& t, int frameCount, bool unwound)
{
    int fd = open(g_dumpPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return; // a dump that cannot be created is skipped silently
    Writer w(fd);
    w.put("ZAVMO CRASH DUMP 1\nprogram: ");
    w.put(s.programPath.c_str());
    w.put("\nversion: ");
    w.put(s.version.c_str());
    w.put("\npid: ");
    w.dec(getpid());
    w.put("\ntid: ");
    w.dec(long(syscall(SYS_gettid)));
    w.put("\ntime: ");
    w.dec(t.year, 4);
    w.put("-");
    w.dec(t.month, 2);
    w.put("-");
    w.dec(t.day, 2);
    w.put(" ");
    w.dec(t.hour, 2);
    w.put(":");
    w.dec(t.minute, 2);
    w.put(":");
    w.dec(t.second, 2);
    long off = s.utcOffset;
    w.put(off < 0 ? " UTC-" : " UTC+");
    if (off < 0)
        off = -off;
    w.dec(off / 3600, 2);
    w.dec(off / 60 % 60, 2);
    w.put("\nsignal: ");
    w.dec(sig);
    w.put(" ");
    w.put(signalName(sig));
    w.put("\ncode: ");
    w.dec(info ? info->si_code : 0);
    w.put("\naddress: ");
    w.hex(info ? uintptr_t(info->si_addr) : 0);
    w.put("\npc: ");
    writeLocation(w, r.pc);
    w.put("\nregisters:\n");
    if (uc)
        writeRegisters(w, uc);

    w.put("frames: ");
    w.dec(frameCount);
    w.put(unwound ? " unwind\n" : " framechain\n");
    for (int i = 0; i < frameCount; ++i) {
        w.put("  #");
        w.dec(i);
        w.put(" ");
        writeLocation(w, g_frames[i]);
        w.put("\n");
    }

    uintptr_t first = (r.sp - kStackBelow) & ~uintptr_t(15);
    size_t bytes = kStackBelow + kStackAbove;
    w.put("stack: ");
    w.hex(first);
    w.put(" ");
    w.dec(long(bytes));
    w.put("\n");
    for (size_t i = 0; r.sp && i < bytes; i += 16) {
        unsigned char line[16];
        w.put("  ");
        w.hex(first + i);
        if (safeRead(s, first + i, line, sizeof line)) {
            w.put(": ");
            for (unsigned char b : line)
                w.hex(b, 2, false);
        } else {
            w.put(": unreadable");
        }
        w.put("\n");
    }

    w.put("map:\n");
    const MemoryMap& map = *g_map;
    w.put(map.text, map.textLength);
    if (map.textLength > 0 && map.text[map.textLength - 1] != '\n')
        w.put("\n");
    w.put("end\n");
    w.flush();
    close(fd);
}

// Sets a signal's disposition to the default. The kernel call reaches the
// signals glibc keeps for itself (32, 33), which may be ignored by whoever
// started us; glibc's sigaction() refuses them.
void resetToDefault(int sig)
{
#if defined(__x86_64__) || defined(__aarch64__)
    struct
    {
        void* handler;
        unsigned long flags;
        void* restorer;
        uint64_t mask;
    } kernelAction = {nullptr /* SIG_DFL */, 0, nullptr, 0};
    if (syscall(SYS_rt_sigaction, sig, &kernelAction, nullptr, sizeof kernelAction.mask) == 0)
        return;
#endif
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = SIG_DFL;
    sigaction(sig, &sa, nullptr);
}

// Starts the reporter without waiting for it: a clean signal mask, default
// dispositions, only descriptors 0-2, its own session (it outlives us).
void startReporter(const State& s)
{
    if (s.reporterPath.empty())
        return;
    char** argv = const_cast<char**>(s.reporterArgv.data());
    if (s.dumpPathSlot > 0)
        argv[s.dumpPathSlot] = g_dumpPath;
    pid_t child = _Fork();
    if (child != 0)
        return; // parent; a failed start is not reported
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig == SIGKILL || sig == SIGSTOP)
            continue;
        resetToDefault(sig);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (syscall(SYS_close_range, 3U, ~0U, 0U) != 0)
        for (int fd = 3; fd < 65536; ++fd)
            close(fd);
    setsid();
    execve(s.reporterPath.c_str(), argv, environ);
    _exit(127);
}

// In order: crash time, dump path, faulting module, frames, dump, reporter,
// message on standard error, exit code 0. Never returns.
void crashHandler(int sig, siginfo_t* info, void* context)
{
    if (g_entered.exchange(1) != 0) {
        // Another thread is already reporting; it ends the whole process.
        for (;;)
            pause();
    }
    const State& s = *g_state.load(std::memory_order_acquire);
    const ucontext_t* uc = static_cast<const ucontext_t*>(context);
    g_map = crashTimeMap(s);

    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    CivilTime local = civilFromSeconds(int64_t(now.tv_sec) + s.utcOffset);
    buildDumpPath(g_dumpPath, sizeof g_dumpPath, s.dumpFolder.c_str(), s.dumpBaseName.c_str(), s.version.c_str(),
                  local);

    Registers r = uc ? registersOf(uc) : Registers{};
    const MapEntry* faultEntry = findMapping(r.pc);
    {
        Text m(g_faultModule, sizeof g_faultModule);
        if (faultEntry)
            m.add(faultEntry->file);
    }

    bool unwound = false;
    int frameCount = collectFrames(s, r, &unwound);
    writeDump(s, sig, info, uc, r, local, frameCount, unwound);
    startReporter(s);

    // Frames after the faulting one hold return addresses: look up the call
    // instruction (address - 1), which may be the last one of its function.
    int callers = 0;
    for (int i = 1; i < frameCount; ++i) {
        const MapEntry* e = findMapping(g_frames[i] - 1);
        g_frameModules[callers++] = e ? e->file : "";
    }
    int hint = pickHint(s.messages, g_faultModule, g_frameModules, callers);
    Text msg(g_message, sizeof g_message - 1);
    formatMessage(msg, s.messages, hint, g_faultModule);
    g_message[msg.len++] = '\n';
    platform::fileio::writeAll(STDERR_FILENO, g_message, msg.len);
    _exit(0);
}

// ---------------------------------------------------------------- install

bool fail(std::string* error, const std::string& why)
{
    if (error)
        *error = why;
    return false;
}

std::mutex g_installMutex;

} // namespace

// ---------------------------------------------------------------- public

CivilTime civilFromSeconds(int64_t seconds)
{
    int64_t days = seconds / 86400;
    int64_t rem = seconds % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    // Days since 1970-01-01 to a proleptic Gregorian date (eras of 400 years).
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = int(doy - (153 * mp + 2) / 5 + 1);
    t.month = int(mp < 10 ? mp + 3 : mp - 9);
    t.year = int(yoe + era * 400 + (t.month <= 2 ? 1 : 0));
    t.hour = int(rem / 3600);
    t.minute = int(rem / 60 % 60);
    t.second = int(rem % 60);
    return t;
}

std::string dumpFileName(const std::string& baseName, const std::string& version, const CivilTime& local)
{
    std::vector<char> buf(baseName.size() + version.size() + 64);
    buildDumpPath(buf.data(), buf.size(), nullptr, baseName.c_str(), version.c_str(), local);
    return std::string(buf.data());
}

std::string chooseMessage(const Messages& messages, const std::string& faultModule,
                          const std::vector<std::string>& frameModules)
{
    std::vector<const char*> frames;
    for (const std::string& f : frameModules)
        frames.push_back(f.c_str());
    int hint = pickHint(messages, faultModule.c_str(), frames.data(), int(frames.size()));
    std::vector<char> buf(16384);
    Text t(buf.data(), buf.size());
    formatMessage(t, messages, hint, faultModule.c_str());
    return std::string(buf.data(), t.len);
}

bool isInstalled()
{
    return g_state.load(std::memory_order_acquire) != nullptr;
}

bool install(const Config& config, std::string* error)
{
    std::lock_guard<std::mutex> lock(g_installMutex);
    if (g_state.load())
        return fail(error, "the crash filter is already installed");
    if (config.dumpFolder.empty())
        return fail(error, "no dump folder");
    if (config.dumpPathArg < -1 || config.dumpPathArg >= int(config.reporterArgs.size()))
        return fail(error, "the dump path argument index is out of range");

    auto s = std::make_unique<State>();
    s->dumpFolder = config.dumpFolder;
    while (s->dumpFolder.size() > 1 && s->dumpFolder.back() == '/')
        s->dumpFolder.pop_back();
    if (s->dumpFolder == "/")
        s->dumpFolder.clear();
    s->dumpBaseName = config.dumpBaseName;
    s->version = config.version;
    size_t pathLength =
        s->dumpFolder.size() + 1 + s->dumpBaseName.size() + 1 + kTimeStampLength + 1 + s->version.size() + 4;
    if (pathLength >= kPathMax)
        return fail(error, "the dump path is too long");

    s->reporterPath = config.reporterPath;
    s->reporterArgs = config.reporterArgs;
    s->reporterArgv.push_back(const_cast<char*>(s->reporterPath.c_str()));
    for (std::string& a : s->reporterArgs)
        s->reporterArgv.push_back(const_cast<char*>(a.c_str()));
    s->reporterArgv.push_back(nullptr);
    s->dumpPathSlot = config.dumpPathArg >= 0 ? config.dumpPathArg + 1 : -1;
    s->messages = config.messages;

    char exe[kPathMax];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    s->programPath = n > 0 ? std::string(exe, size_t(n)) : std::string();

    // The map now, and room for one several times its size at crash time.
    {
        std::vector<char> text(kMapTextMin);
        ssize_t n = -1;
        while ((n = readWhole("/proc/self/maps", text.data(), text.size())) < 0 && text.size() < (64u << 20))
            text.resize(text.size() * 4);
        if (n <= 0)
            return fail(error, "cannot read the memory map");
        const size_t length = size_t(n);
        const size_t lines = size_t(std::count(text.begin(), text.begin() + n, '\n')) + 1;
        MapStorage& storage = s->installStorage;
        reserveMap(storage, length, lines);
        memcpy(storage.text.data(), text.data(), length);
        long count = parseMapText(storage.text.data(), length, storage.names.data(), storage.entries.data(), lines);
        if (count < 0)
            return fail(error, "cannot parse the memory map");
        s->installMap = MemoryMap{storage.text.data(), length, storage.entries.data(), size_t(count)};
        s->crashStorage = std::make_unique<MapStorage>();
        reserveMap(*s->crashStorage, std::max(kMapTextMin, 4 * length), std::max(kMapEntriesMin, 4 * lines));
    }

    time_t nowTime = time(nullptr);
    tm localTm{};
    localtime_r(&nowTime, &localTm);
    s->utcOffset = localTm.tm_gmtoff;

    // The first backtrace() loads the unwinder library; later calls do not.
    void* warm[4];
    backtrace(warm, 4);

    uintptr_t probeSource = 0x5a5a, probeTarget = 0;
    iovec local{&probeTarget, sizeof probeTarget};
    iovec remote{&probeSource, sizeof probeSource};
    s->vmReadWorks =
        syscall(SYS_process_vm_readv, getpid(), &local, 1UL, &remote, 1UL, 0UL) == long(sizeof probeTarget) &&
        probeTarget == probeSource;

    // Alternate stack for the installing thread, so a stack overflow can be
    // reported. Never freed: the filter stays for the whole run.
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
        stack_t alt{};
        alt.ss_sp = new char[kAltStackSize];
        alt.ss_size = kAltStackSize;
        if (sigaltstack(&alt, nullptr) != 0)
            return fail(error, "cannot set the alternate signal stack");
    }

    std::vector<int> signals = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
    if (config.catchAbort)
        signals.push_back(SIGABRT);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = crashHandler;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : signals)
        sigaddset(&sa.sa_mask, sig);

    g_state.store(s.release(), std::memory_order_release);
    for (int sig : signals) {
        if (sigaction(sig, &sa, nullptr) != 0)
            return fail(error, "sigaction failed");
    }
    return true;
}

} // namespace platform::crash
