// Emulated Windows registry kept in one JSON file shared between processes.
//
// File: env ZAVMO_REGISTRY, else $XDG_CONFIG_HOME/zavmo/registry.json, else
// $HOME/.config/zavmo/registry.json. Every call re-reads the file; a missing
// file is an empty registry; a corrupt file reads as empty and every write to
// it fails (it is never overwritten). Writes hold an exclusive flock on
// "<file>.lock" over read, change and save (temp file + fsync + rename);
// reads hold a shared lock. A file that cannot be parsed (bad JSON, wrong
// shape, nesting beyond the reader's limit) counts as corrupt. Temporary files
// of saves that were killed are removed by the next write.
//
// Key paths use backslashes ("SOFTWARE\\Microsoft\\..."); empty segments are
// ignored, the empty path is the root itself. A path may be at most 512 keys
// deep (as on Windows); a write that would create a deeper key fails. Key and value names compare
// without regard to ASCII case and keep the case they were created with. The
// unnamed default value has the name "".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::registry {

enum class Root { LocalMachine, CurrentUser };

// The file in use (resolved from the environment on each call).
std::string registryFilePath();

bool keyExists(Root root, const std::string& path);
// Creates the key and its missing parents; true when it exists afterwards.
bool createKey(Root root, const std::string& path);
// Deletes the key with all sub-keys and values. False when it did not exist
// or the save failed. The root itself (empty path) cannot be deleted.
bool deleteKey(Root root, const std::string& path);
// Names of the direct sub-keys in creation order. False when the key does not
// exist (out is then empty).
bool enumSubKeys(Root root, const std::string& path, std::vector<std::string>& out);

// False when the key or value is missing or holds the other type.
bool readString(Root root, const std::string& path, const std::string& name, std::string& out);
bool readNumber(Root root, const std::string& path, const std::string& name, uint32_t& out);

// Create the key path as needed; replace a value of the same name (any type).
bool writeString(Root root, const std::string& path, const std::string& name, const std::string& value);
bool writeNumber(Root root, const std::string& path, const std::string& name, uint32_t value);
// False when the key or value did not exist or the save failed.
bool deleteValue(Root root, const std::string& path, const std::string& name);

} // namespace platform::registry
