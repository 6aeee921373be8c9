#pragma once
// The crash reporter: gathers a crash dump and the platform tool's temporary
// folder into one zip archive beside the dump, uploads it over FTP and
// removes what it made. Started by Olvane's crash filter as
//   Faultmail <ftp folder URL> <dump path> <user:password> <port>
// Nothing is shown; the upload's lines go to standard error.
//
// With dump path D: the archive is D + ".zip", the gathering folder
// D + "Dir", the tool folder the user's temporary folder + "/ZVTool" (taken
// as CopyFolder takes a folder). The crash data stays until it is uploaded:
// when zipping or the upload fails, the dump is back at D when the program
// ends. When the gathered files cannot be archived, the dump goes alone.

#include <string>
#include <vector>

// Exit codes of a run.
enum FaultmailExit {
    faultmailUploaded = 0,
    faultmailNotUploaded = 1, // no dump, zipping or the upload failed; the dump (if any) stays at D
    faultmailUsage = 2,       // fewer than four arguments; nothing touched
    faultmailRunning = 3,     // another copy runs; nothing touched
};

// The part of `path` after its last "/" or "\"; the whole path without one.
std::string GetFileNameFromPath(const std::string& path);

// Copies the regular files of `source`, sub-folders included, into `target`
// (created when missing). Only folders (`source` included) that are the
// user's own, not links, and that no one else may write are copied, and only
// files of the user's own: the others are skipped with a line on stderr (a
// missing `source` silently). Symbolic links and special files are skipped
// and never followed; failures of single copies are ignored. Returns true.
bool CopyFolder(const std::string& source, const std::string& target);

// Removes `path` with everything in it, never following symbolic links (a
// link is removed, not its target). Paths of 2 characters or fewer are left
// alone; failures are ignored.
void DeleteFolder(const std::string& path);

// Appends the path of every regular file under `folder`, depth first, in the
// order the directory listing gives. Links and special files are skipped,
// sub-folders entered (never through a link).
void ListFolderFiles(const std::string& folder, std::vector<std::string>& files);

// The upload address: `folderUrl` as given, "/" and `archiveName`, cut to
// 1023 characters as text, then the name's bytes percent-encoded (all but
// RFC 3986's unreserved characters). libcurl decodes them, so the server
// gets the name's bytes unchanged, UTF-8 or not.
std::string FaultmailUploadUrl(const std::string& folderUrl, const std::string& archiveName);

// The single-instance lock file: "LumraeFaultmail.lock" in the user's
// runtime folder ($XDG_RUNTIME_DIR), else "LumraeFaultmail-<uid>.lock" in
// the temporary folder.
std::string FaultmailLockPath();

// The user's temporary folder: $TMPDIR, else "/tmp".
std::string FaultmailTempFolder();

class CFaultmailApp
{
public:
    // New archive at `archive` holding `file` under its file name, deflate
    // level 1. False when the file cannot be added (missing, unreadable, not
    // a regular file). Throws CException when the archive cannot be written
    // or the file is 4 GiB or more.
    bool ZipFile(const std::string& archive, const std::string& file);
    // New flat archive at `archive` of every regular file under `folder`,
    // each under its file name alone, in ListFolderFiles order. A file that
    // cannot be added before its entry begins (unreadable, not a regular
    // file, 4 GiB or more) is skipped with a line on stderr; a failure inside
    // an entry throws CException (abandon the archive). False when `required`
    // (a path as listed; empty: none) is not in the archive.
    bool ZipFolder(const std::string& archive, const std::string& folder, const std::string& required = std::string());

    // The whole program; argv[1..4] as above, later arguments ignored.
    // timeoutSeconds bounds each FTP wait.
    int Run(int argc, char** argv, int timeoutSeconds = 600);
};
