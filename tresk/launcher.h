#pragma once
// The Tresk program: the command line, the update-and-launch flow, the server
// version check and the folder deletion. Paths are UTF-8 with "/" separators;
// "\" in a path read from version.ini is taken as a separator too.
//
// Command line (option words compared without regard to case):
//   (none)         update-and-launch flow, target without parameters     1
//   -check         server version check: 10001 newer, 10002 not newer,
//                  0 server file not fetched (17 and 18 as 8-bit status)
//   -a             the target at once, with "-a" as typed as parameters  0
//   other single   the flow; the argument is the target's parameter text 0
//   -d FOLDER      deletes FOLDER with everything in it (10 tries)       1
//   two, not -d    nothing                                               0
//   other counts   nothing                                               1
//
// The run's temporary folder is $TMPDIR (or /tmp) + "/SDKUpdate" + the
// process id. It is made 0700 and must not exist before: one that does is not
// ours, so the run does not use it and never deletes it.

#include <string>
#include <vector>

namespace tresk {

// Exit codes of "-check".
constexpr int kServerNewer = 10001;
constexpr int kServerNotNewer = 10002;

// Folder, Tresk's own path and process id of one run.
struct RunContext
{
    std::string installFolder; // Tresk's folder, the working folder of the run
    std::string exePath;       // Tresk's own file
    std::string tempFolder;    // the SDKUpdate<pid> folder
    long processId = 0;
};

// The run of the program for its arguments (argv without argv[0]); returns the
// exit code. Makes the install folder the working folder.
int runTresk(const std::vector<std::string>& args);

// Dispatches by the command-line table with an explicit context.
int runCommand(const std::vector<std::string>& args, const RunContext& context);

// What "-d" refuses to delete: an empty path and the file-system root,
// however it is written ("/tmp/..", "//", a link to it). "\" separates.
bool folderMayBeDeleted(const std::string& folder);

// An integer key of an INI file, read the way GetPrivateProfileInt does:
// optional blanks and sign, then decimal digits (none: 0); the fallback when
// the file, section or key is missing or the value is empty.
int readProfileInt(const std::string& file, const std::string& section, const std::string& key, int fallback);

// The two ways Update.exe is started, with the texts they carry.
struct UpdaterStart
{
    std::string program;           // Update.exe in the temporary folder
    std::vector<std::string> args; // the text split by Windows rules
    std::string workDir;           // empty: inherit (the install folder)
    std::string text;              // the command line or parameter text
};
struct UpdaterInputs
{
    std::string installFolder;
    std::string configUrl; // server "url" + server version + "/ProgramConfig.zdb.zip"
    std::string serverIni;
    long processId = 0;
    std::string tempFolder;
    std::string exePath;
    std::string related; // local "related"; Vista and later only
};
// Before Vista (major version below 6): a whole command line whose first
// argument is Update.exe's path. Vista and later: a parameter text ending in
// "-Admin", started in the temporary folder ("runas" cannot elevate here).
UpdaterStart updaterStart(const UpdaterInputs& inputs, int osMajorVersion);

} // namespace tresk
