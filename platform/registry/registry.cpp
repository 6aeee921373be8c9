#include "platform/registry.h"

#include <json/json.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <sstream>

#include "platform/fileio.h"

// File layout (one JSON object):
//   { "HKEY_LOCAL_MACHINE": KEY, "HKEY_CURRENT_USER": KEY }
//   KEY   = { "name": "...", "values": [VALUE...], "keys": [KEY...] }   (no "name" on a root)
//   VALUE = { "name": "...", "type": "REG_SZ" | "REG_EXPAND_SZ", "data": "text" }
//         | { "name": "...", "type": "REG_DWORD", "data": 0..4294967295 }
// Arrays rather than objects keep creation order and the names' original case.
// Unknown members and value types are kept untouched on rewrite.

namespace platform::registry {

namespace {

// Deepest key path a write may create. Each key level costs the parser two
// levels of nesting (key object, "keys" array); the reader's limit below
// leaves room for this depth, so everything written can be read back.
constexpr size_t kMaxKeyDepth = 512;
constexpr int kParserDepthLimit = 2 * kMaxKeyDepth + 16;

const char* rootName(Root root)
{
    return root == Root::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

bool sameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::vector<std::string> splitPath(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = path.find('\\', start);
        std::string part = path.substr(start, end == std::string::npos ? end : end - start);
        if (!part.empty())
            parts.push_back(std::move(part));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return parts;
}

// ---- file access ---------------------------------------------------------

using Fd = platform::fileio::FileDescriptor;

std::string folderOf(const std::string& file)
{
    const auto slash = file.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return file.substr(0, slash);
}

bool lockFd(int fd, int operation)
{
    while (::flock(fd, operation) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

enum class Load { Ok, Missing, Corrupt };

Load loadDocument(const std::string& file, Json::Value& doc)
{
    doc = Json::Value(Json::objectValue);
    Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return errno == ENOENT ? Load::Missing : Load::Corrupt;
    std::string text;
    if (!platform::fileio::readToEnd(fd.get(), text))
        return Load::Corrupt;
    if (text.find_first_not_of(" \t\r\n") == std::string::npos)
        return Load::Missing;

    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["failIfExtra"] = true;
    builder["rejectDupKeys"] = true;
    builder["stackLimit"] = kParserDepthLimit;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value parsed;
    std::string errors;
    try {
        // jsoncpp throws, rather than failing, past its nesting limit.
        if (!reader->parse(text.data(), text.data() + text.size(), &parsed, &errors))
            return Load::Corrupt;
    } catch (const std::exception&) {
        return Load::Corrupt;
    }

    // Check the shape the walkers rely on, so a stranger file is never half-used.
    std::function<bool(const Json::Value&, bool)> validKey = [&](const Json::Value& key, bool isRoot) {
        if (!key.isObject())
            return false;
        if (!isRoot && !key["name"].isString())
            return false;
        if (key.isMember("values")) {
            const Json::Value& values = key["values"];
            if (!values.isArray())
                return false;
            for (const auto& v : values)
                if (!v.isObject() || !v["name"].isString() || !v["type"].isString())
                    return false;
        }
        if (key.isMember("keys")) {
            const Json::Value& keys = key["keys"];
            if (!keys.isArray())
                return false;
            for (const auto& k : keys)
                if (!validKey(k, false))
                    return false;
        }
        return true;
    };
    if (!parsed.isObject())
        return Load::Corrupt;
    for (Root root : {Root::LocalMachine, Root::CurrentUser}) {
        if (parsed.isMember(rootName(root)) && !validKey(parsed[rootName(root)], true))
            return Load::Corrupt;
    }
    doc = std::move(parsed);
    return Load::Ok;
}

bool saveDocument(const std::string& file, const Json::Value& doc)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["emitUTF8"] = true;
    const std::string text = Json::writeString(builder, doc) + "\n";

    std::string temp = file + ".tmp.XXXXXX";
    Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    struct stat old
    {
    };
    if (::stat(file.c_str(), &old) == 0)
        ::fchmod(fd.get(), old.st_mode & 07777);
    bool ok = platform::fileio::writeAll(fd.get(), text.data(), text.size());
    ok = ok && ::fsync(fd.get()) == 0;
    ok = ok && fd.close();
    ok = ok && ::rename(temp.c_str(), file.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here does not undo the save.
    Fd dir(::open(folderOf(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return true;
}

// Runs `reader` on the document under a shared lock. A missing or corrupt
// file reads as an empty registry.
bool withRead(const std::function<bool(Json::Value&)>& reader)
{
    const std::string file = registryFilePath();
    Json::Value doc(Json::objectValue);
    if (file.empty())
        return reader(doc);
    const std::string lockPath = file + ".lock";
    int raw = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (raw < 0)
        raw = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    // Without a lock (no folder yet, or flock failing) the read still works:
    // saves replace the file by rename, so a reader never sees half a file.
    Fd lock(raw);
    if (lock.get() >= 0)
        lockFd(lock.get(), LOCK_SH);
    if (loadDocument(file, doc) != Load::Ok)
        doc = Json::Value(Json::objectValue);
    return reader(doc);
}

enum class Change { Changed, Unchanged, Failed };

// Removes "<file>.tmp.XXXXXX" files left by saves that were killed before
// their rename. Called under the exclusive lock, when no save is running.
void removeStaleTemporaries(const std::string& file)
{
    const std::string folder = folderOf(file);
    const std::string prefix = file.substr(file.find_last_of('/') + 1) + ".tmp.";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
            ::unlinkat(::dirfd(dir), name.c_str(), 0);
    }
    ::closedir(dir);
}

// Read-modify-write under an exclusive lock held over the whole sequence, so
// writers in other processes never lose each other's updates.
bool withWrite(const std::function<Change(Json::Value&)>& modify)
{
    const std::string file = registryFilePath();
    if (file.empty() || !platform::fileio::makeFolders(folderOf(file)))
        return false;
    Fd lock(::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.get() < 0 || !lockFd(lock.get(), LOCK_EX))
        return false;
    removeStaleTemporaries(file);
    Json::Value doc;
    if (loadDocument(file, doc) == Load::Corrupt)
        return false; // never overwrite it
    switch (modify(doc)) {
    case Change::Changed:
        return saveDocument(file, doc);
    case Change::Unchanged:
        return true;
    case Change::Failed:
        break;
    }
    return false;
}

// ---- tree walking --------------------------------------------------------

// Index of the element of `array` named `name`, or -1.
int findNamed(const Json::Value& array, const std::string& name)
{
    if (!array.isArray())
        return -1;
    for (Json::ArrayIndex i = 0; i < array.size(); ++i)
        if (sameName(array[i]["name"].asString(), name))
            return static_cast<int>(i);
    return -1;
}

// The key node at `path`, or nullptr. With `create`, missing keys are added
// (and *created is set when anything was).
Json::Value* walk(Json::Value& doc, Root root, const std::string& path, bool create, bool* created = nullptr)
{
    const std::vector<std::string> parts = splitPath(path);
    if (create && parts.size() > kMaxKeyDepth)
        return nullptr; // the file could not be read back
    const char* top = rootName(root);
    if (!doc.isMember(top)) {
        if (!create)
            return nullptr;
        doc[top] = Json::Value(Json::objectValue);
        if (created)
            *created = true;
    }
    Json::Value* node = &doc[top];
    for (const std::string& part : parts) {
        Json::Value& keys = (*node)["keys"]; // adds an empty member only in memory
        const int index = findNamed(keys, part);
        if (index >= 0) {
            node = &keys[static_cast<Json::ArrayIndex>(index)];
            continue;
        }
        if (!create)
            return nullptr;
        Json::Value child(Json::objectValue);
        child["name"] = part;
        child["values"] = Json::Value(Json::arrayValue);
        child["keys"] = Json::Value(Json::arrayValue);
        if (!keys.isArray())
            keys = Json::Value(Json::arrayValue);
        node = &keys.append(std::move(child));
        if (created)
            *created = true;
    }
    return node;
}

const Json::Value* findValue(Json::Value& doc, Root root, const std::string& path, const std::string& name)
{
    Json::Value* key = walk(doc, root, path, false);
    if (!key)
        return nullptr;
    const Json::Value& values = (*key)["values"];
    const int index = findNamed(values, name);
    return index < 0 ? nullptr : &values[static_cast<Json::ArrayIndex>(index)];
}

bool writeValue(Root root, const std::string& path, const std::string& name, const char* type, const Json::Value& data)
{
    return withWrite([&](Json::Value& doc) {
        Json::Value* key = walk(doc, root, path, true);
        if (!key)
            return Change::Failed;
        Json::Value& values = (*key)["values"];
        if (!values.isArray())
            values = Json::Value(Json::arrayValue);
        const int index = findNamed(values, name);
        if (index >= 0) {
            Json::Value& value = values[static_cast<Json::ArrayIndex>(index)];
            value["type"] = type; // the name keeps the case it was created with
            value["data"] = data;
        } else {
            Json::Value value(Json::objectValue);
            value["name"] = name;
            value["type"] = type;
            value["data"] = data;
            values.append(std::move(value));
        }
        return Change::Changed;
    });
}

} // namespace

std::string registryFilePath()
{
    const char* env = std::getenv("ZAVMO_REGISTRY");
    if (env && *env)
        return env;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return std::string(config) + "/zavmo/registry.json";
    const char* home = std::getenv("HOME");
    if (home && *home)
        return std::string(home) + "/.config/zavmo/registry.json";
    return {};
}

bool keyExists(Root root, const std::string& path)
{
    return withRead([&](Json::Value& doc) { return walk(doc, root, path, false) != nullptr; });
}

bool createKey(Root root, const std::string& path)
{
    return withWrite([&](Json::Value& doc) {
        bool created = false;
        if (!walk(doc, root, path, true, &created))
            return Change::Failed;
        return created ? Change::Changed : Change::Unchanged;
    });
}

bool deleteKey(Root root, const std::string& path)
{
    std::vector<std::string> parts = splitPath(path);
    if (parts.empty())
        return false;
    const std::string last = parts.back();
    parts.pop_back();
    std::string parentPath;
    for (const auto& part : parts)
        parentPath += part + "\\";
    return withWrite([&](Json::Value& doc) {
        Json::Value* parent = walk(doc, root, parentPath, false);
        if (!parent)
            return Change::Failed;
        Json::Value& keys = (*parent)["keys"];
        const int index = findNamed(keys, last);
        if (index < 0)
            return Change::Failed;
        Json::Value removed;
        keys.removeIndex(static_cast<Json::ArrayIndex>(index), &removed);
        return Change::Changed;
    });
}

bool enumSubKeys(Root root, const std::string& path, std::vector<std::string>& out)
{
    out.clear();
    return withRead([&](Json::Value& doc) {
        Json::Value* key = walk(doc, root, path, false);
        if (!key)
            return false;
        const Json::Value& keys = (*key)["keys"];
        if (keys.isArray())
            for (const auto& k : keys)
                out.push_back(k["name"].asString());
        return true;
    });
}

bool readString(Root root, const std::string& path, const std::string& name, std::string& out)
{
    return withRead([&](Json::Value& doc) {
        const Json::Value* value = findValue(doc, root, path, name);
        if (!value)
            return false;
        const std::string type = (*value)["type"].asString();
        const Json::Value& data = (*value)["data"];
        if ((type != "REG_SZ" && type != "REG_EXPAND_SZ") || !data.isString())
            return false;
        out = data.asString();
        return true;
    });
}

bool readNumber(Root root, const std::string& path, const std::string& name, uint32_t& out)
{
    return withRead([&](Json::Value& doc) {
        const Json::Value* value = findValue(doc, root, path, name);
        if (!value)
            return false;
        const Json::Value& data = (*value)["data"];
        if ((*value)["type"].asString() != "REG_DWORD" || !data.isUInt())
            return false;
        out = static_cast<uint32_t>(data.asUInt());
        return true;
    });
}

bool writeString(Root root, const std::string& path, const std::string& name, const std::string& value)
{
    return writeValue(root, path, name, "REG_SZ", Json::Value(value));
}

bool writeNumber(Root root, const std::string& path, const std::string& name, uint32_t value)
{
    return writeValue(root, path, name, "REG_DWORD", Json::Value(Json::UInt(value)));
}

bool deleteValue(Root root, const std::string& path, const std::string& name)
{
    return withWrite([&](Json::Value& doc) {
        Json::Value* key = walk(doc, root, path, false);
        if (!key)
            return Change::Failed;
        Json::Value& values = (*key)["values"];
        const int index = findNamed(values, name);
        if (index < 0)
            return Change::Failed;
        Json::Value removed;
        values.removeIndex(static_cast<Json::ArrayIndex>(index), &removed);
        return Change::Changed;
    });
}

} // namespace platform::registry
