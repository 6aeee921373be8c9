// Shell stand-in: open URLs, folders and documents; the shell's "open" verb.
#pragma once

#include <string>

namespace platform::shell {

// Opens a URL, folder or document with `xdg-open target` (one argument,
// started detached through the process stand-in, never a shell). When env
// ZAVMO_SHELL_RECORD names a file, appends "open <target>\n" to it instead and
// returns whether that append succeeded. False for an empty target or when
// xdg-open cannot be started.
bool openExternal(const std::string& target);

// The "open" verb: false for an empty file. An executable regular file is
// started detached with parameters split by Windows rules (file = argv[0]) in
// workDir (empty = inherit). Anything else goes to openExternal (parameters
// ignored). True when started.
bool shellExecute(const std::string& file, const std::string& parameters, const std::string& workDir);

} // namespace platform::shell
