#pragma once
// The managed tools' own configuration files: push address and stream key of
// OBS classic and OBS Studio, one setting of ZVTool, the record folder of each
// tool. Stateless: every call reads (and a setter rewrites) its file anew.
//
// The files belong to the tools, so a setter changes only its keys: INI files
// keep every other line byte for byte, JSON files every other key. Saves are
// atomic. Setters return false, with the reason logged, when nothing or not
// all was written; they never overwrite a file that exists but cannot be read
// or parsed. Files they create are 0600 (they hold the stream key). INI files
// are read as UTF-8 with our own profile code (OBS Studio's default Chinese
// profile "未命名", Windows paths with backslashes).

#include <QString>

// Record folders, each backslash turned into "/". ZVTool and ZVShow give ""
// when none is stored; the OBS editions fall back to the user's Videos folder.
QString getZVToolRecordPath();
QString getZVShowRecordPath();
QString getObsClassicRecordPath();
QString getObsStudioRecordPath();

// Sets a root key of ZVTool's settings that already holds a number; true when
// the file was rewritten. A missing key is never added.
bool setZVToolNumberSetting(const QString& key, int value);

// OBS classic: section "Publish" of the current profile ("Untitled" when
// global.ini names none). Both outputs are always assigned ("" when missing).
void getObsClassicPushInfo(QString& url, QString& playPath);
// Writes Mode=0, URL and PlayPath (CR, LF and NUL removed); a new profile file
// starts with a UTF-8 byte-order mark.
bool setObsClassicPushInfo(const QString& url, const QString& playPath);

// OBS Studio: "settings" of the current profile's service.json.
void getObsStudioPushInfo(QString& server, QString& key);
// Sets settings.server, settings.key and type "rtmp_custom", keeping all else.
// Where global.ini is missing, first writes one naming the profile "未命名"
// (false, and nothing else written, when that fails). Refuses (false) a
// service.json that is unreadable, not a JSON object, or holds an integer a
// rewrite could not keep exact.
bool setObsStudioPushInfo(const QString& server, const QString& key);

// The whole file as UTF-8 text; "{}" when it cannot be opened ("" for an
// empty file).
QString readTextFile(const QString& path);
// Replaces the file atomically with text, line ends written as CR LF; false
// when it could not be written completely.
bool writeTextFile(const QString& path, const QString& text);
