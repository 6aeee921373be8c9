// NSIS plug-in interface stand-in: what an installer hands to the exports of a
// plug-in library, and the installer's side of it for tests.
//
// An export is called with the parent window, the size of one installer
// string (in chars, NUL included), the installer's variables (kVariableCount
// strings of that size, one after the other), the address of the stack-top
// pointer and the extra parameters; it returns nothing. The stack is a singly
// linked list of items, each a pointer to the next item followed by a
// NUL-terminated ANSI text; the installer allocates items with allocItem, and
// whoever pops one frees it with freeItem (both sides use the same heap).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#if defined(__i386__)
#define ZAVMO_NSIS_CALL __attribute__((cdecl))
#else
#define ZAVMO_NSIS_CALL // x86-64 has one convention
#endif

namespace platform::nsis {

// Strings of a default installer build.
constexpr int kDefaultStringSize = 1024;
// $0-$9, $R0-$R9, $CMDLINE, $INSTDIR, $OUTDIR, $EXEDIR, $LANGUAGE.
constexpr int kVariableCount = 25;

struct StackItem
{
    StackItem* next;
    char text[1]; // runs on for the capacity given to allocItem
};

// Not used by the suite's plug-ins; the installer passes one all the same.
struct ExtraParameters
{
    void* reserved = nullptr;
};

using WindowHandle = void*;
using ExportFunction = void(ZAVMO_NSIS_CALL*)(WindowHandle parent, int stringSize, char* variables,
                                              StackItem** stackTop, ExtraParameters* extra);

// What a plug-in keeps of one call.
struct CallContext
{
    int stringSize = 0;
    char* variables = nullptr;
    StackItem** stackTop = nullptr;
};

// A zeroed item with room for textCapacity chars (NUL included); null when out
// of memory. freeItem accepts null.
StackItem* allocItem(size_t textCapacity);
void freeItem(StackItem* item);

// The installer's side: its stack and variables, and calls of exports.
class Installer
{
public:
    explicit Installer(int stringSize = kDefaultStringSize);
    ~Installer(); // frees what is left on the stack
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    // Text longer than stringSize - 1 is cut, as the installer does.
    void push(const std::string& text);
    // False when the stack is empty.
    bool pop(std::string& text);
    size_t depth() const;

    // index 0 to kVariableCount - 1; out of range reads "" and writes nothing.
    std::string variable(int index) const;
    void setVariable(int index, const std::string& text);

    // Calls an export as the installer does, with this stack and variables.
    void call(ExportFunction function);
    // Pushes the arguments so that the first is on top (the order of a
    // script line "Plugin::Export a b c"), then calls.
    void call(ExportFunction function, const std::vector<std::string>& arguments);

    int stringSize() const { return stringSize_; }
    StackItem** stackTop() { return &top_; }

private:
    int stringSize_;
    std::vector<char> variables_;
    StackItem* top_ = nullptr;
    ExtraParameters extra_;
};

// A plug-in library loaded by path (dlopen), as the installer loads it.
class PluginLibrary
{
public:
    PluginLibrary() = default;
    ~PluginLibrary(); // unloads
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // False, with the loader's reason in error, when it does not load.
    bool load(const std::string& path, std::string* error = nullptr);
    // Null when the library has no export of that name (or none is loaded).
    ExportFunction exportNamed(const std::string& name) const;
    void unload();
    bool loaded() const { return handle_ != nullptr; }

private:
    void* handle_ = nullptr;
};

} // namespace platform::nsis
