#include "logic/toolconfigfiles.h"

#include "core/pathlayout.h"
#include "core/stringconstants.h"
#include "logic/safefilename.h"

#include <platform/fileio.h>
#include <platform/profile.h>

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace {

const QString kObsClassicDefaultProfile = QStringLiteral("Untitled");

enum class Read { Ok, Missing, Failed };

Read readBytes(const QString& path, QByteArray* bytes)
{
    QFile file(path);
    if (!file.exists())
        return Read::Missing;
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "[Logic] by kx readBytes {cannot open" << path << ":" << file.errorString() << "}";
        return Read::Failed;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Read::Failed;
    return Read::Ok;
}

// Atomic; a file we create is 0600 (it may hold a stream key), an existing
// one keeps its mode.
bool saveBytes(const QString& path, const QByteArray& bytes)
{
    const bool ok = platform::fileio::replaceFile(QFile::encodeName(path).toStdString(), bytes.toStdString());
    if (!ok)
        qWarning().noquote() << "[Logic] by kx saveBytes {cannot write" << path << ":" << std::strerror(errno) << "}";
    return ok;
}

// Creates the folder and its missing parents. False, with the folder and
// the reason logged, when it is not a folder in the end: the file written
// into it next would only report a missing folder.
bool makeFolder(const QString& folder)
{
    if (platform::fileio::makeFolders(QFile::encodeName(folder).toStdString()))
        return true;
    qWarning().noquote() << "[Logic] by kx makeFolder {cannot create" << folder << ":"
                         << std::strerror(errno) << "}";
    return false;
}

// Whether an INI file can be read: a missing one reads as empty, which the
// profile code does by itself; one that exists but cannot be opened must not
// be taken for empty where a write would follow.
Read iniState(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return Read::Missing;
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "[Logic] by kx iniState {cannot read" << path << "}";
        return Read::Failed;
    }
    return Read::Ok;
}

// OBS's INI files are UTF-8 (Qt's INI reader would take them as Latin-1 and
// eat the backslashes of Windows paths).
QString iniValue(const QString& path, const char* section, const char* key, const QString& fallback = QString())
{
    return QString::fromStdString(
        platform::profile::readString(QFile::encodeName(path).toStdString(), section, key, fallback.toStdString()));
}

// Writes the keys of one section in one save, so that a kill cannot leave
// some of them from one call and some from another.
bool setIniValues(const QString& path, const char* section, const std::vector<std::pair<const char*, QString>>& values)
{
    std::vector<std::pair<std::string, std::string>> cleaned;
    for (const auto& [key, value] : values) {
        // A pasted or served value must not end its line and inject keys.
        QString clean = value;
        clean.remove(QLatin1Char('\r')).remove(QLatin1Char('\n')).remove(QChar(0));
        cleaned.emplace_back(key, clean.toStdString());
    }
    const bool ok = platform::profile::writeStrings(QFile::encodeName(path).toStdString(), section, cleaned);
    if (!ok)
        qWarning().noquote() << "[Logic] by kx setIniValues {cannot write section" << section << "of" << path << "}";
    return ok;
}

QJsonObject parseObject(const QString& path)
{
    return QJsonDocument::fromJson(readTextFile(path).toUtf8()).object();
}

QString forwardSlashes(QString path)
{
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

QString videosOr(const QString& path)
{
    return forwardSlashes(path.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::MoviesLocation) : path);
}

QString zvToolSettingsPath()
{
    return getLocalAppDataRoot() + QStringLiteral("ZVTool/SystemSetting");
}

QString obsClassicDir()
{
    return getRoamingAppDataRoot() + QStringLiteral("OBS/");
}

// The profile named by OBS classic's global.ini; "" when global.ini exists but
// cannot be read or names no profile, or one that is no plain file name.
QString obsClassicProfile()
{
    const QString global = obsClassicDir() + QStringLiteral("global.ini");
    if (iniState(global) == Read::Failed)
        return QString();
    const QString profile = iniValue(global, "General", "Profile", kObsClassicDefaultProfile);
    if (profile.isEmpty() || !isSafeFileName(profile + QStringLiteral(".ini"))) {
        qWarning().noquote() << "[Logic] by kx obsClassicProfile {unusable profile name" << profile << "}";
        return QString();
    }
    return profile;
}

QString obsStudioGlobalPath()
{
    return getRoamingAppDataRoot() + kObsStudioConfigDir + QStringLiteral("global.ini");
}

// Where OBS Studio has never run, it would make (in a locale other than
// Chinese) and use a profile of another name than the one written into: a
// global.ini naming ours makes it take that one. An existing file is never
// touched.
bool ensureObsStudioGlobal()
{
    const QString global = obsStudioGlobalPath();
    if (QFileInfo::exists(global))
        return true;
    if (!makeFolder(getRoamingAppDataRoot() + kObsStudioConfigDir))
        return false;
    const QByteArray profile = kUntitledProfileName.toUtf8();
    return saveBytes(global, "[Basic]\nProfile=" + profile + "\nProfileDir=" + profile + "\n");
}

// Folder of OBS Studio's current profile, "" when it cannot be told.
QString obsStudioProfileDir()
{
    const QString global = obsStudioGlobalPath();
    if (iniState(global) == Read::Failed)
        return QString();
    const QString profile = iniValue(global, "Basic", "ProfileDir", kUntitledProfileName);
    if (!isSafeFileName(profile)) {
        qWarning().noquote() << "[Logic] by kx obsStudioProfileDir {unusable profile folder" << profile << "}";
        return QString();
    }
    return getRoamingAppDataRoot() + kObsStudioProfilesDir + profile;
}

// JSON files we rewrite through QJsonDocument, which holds numbers as doubles:
// an integer literal beyond 2^53 would come back changed.
bool hasInexactIntegers(const QByteArray& json)
{
    bool inString = false;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
            continue;
        }
        if (!(c == '-' || (c >= '0' && c <= '9')))
            continue;
        int end = i + (c == '-' ? 1 : 0);
        while (end < json.size() && json.at(end) == '0')
            ++end;
        const int digitsStart = end;
        while (end < json.size() && json.at(end) >= '0' && json.at(end) <= '9')
            ++end;
        const bool integer = end >= json.size() || !strchr(".eE", json.at(end));
        const QByteArray digits = json.mid(digitsStart, end - digitsStart);
        if (integer && (digits.size() > 16 || (digits.size() == 16 && digits > "9007199254740992")))
            return true;
        while (end < json.size() && strchr("0123456789+-.eE", json.at(end)))
            ++end;
        i = end - 1;
    }
    return false;
}

// Reads a JSON object that a setter will rewrite. A missing or empty file is
// an empty object; anything that cannot be read or rewritten faithfully fails.
bool readObjectForRewrite(const QString& path, QJsonObject* object)
{
    QByteArray bytes;
    const Read read = readBytes(path, &bytes);
    if (read == Read::Failed)
        return false;
    if (read == Read::Missing || bytes.trimmed().isEmpty()) {
        *object = QJsonObject();
        return true;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        qWarning().noquote() << "[Logic] by kx readObjectForRewrite {not a JSON object, left alone:" << path << "}";
        return false;
    }
    if (hasInexactIntegers(bytes)) {
        qWarning().noquote() << "[Logic] by kx readObjectForRewrite {integer beyond 2^53, left alone:" << path << "}";
        return false;
    }
    *object = doc.object();
    return true;
}

bool writeObject(const QString& path, const QJsonObject& object)
{
    return writeTextFile(path, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)));
}

} // namespace

QString readTextFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("{}");
    return QString::fromUtf8(file.readAll());
}

bool writeTextFile(const QString& path, const QString& text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace("\n", "\r\n");
    return saveBytes(path, bytes);
}

QString getZVToolRecordPath()
{
    return forwardSlashes(parseObject(zvToolSettingsPath()).value(QStringLiteral("other.video.file.path")).toString());
}

bool setZVToolNumberSetting(const QString& key, int value)
{
    const QString path = zvToolSettingsPath();
    QJsonObject root;
    if (!readObjectForRewrite(path, &root) || !root.value(key).isDouble())
        return false;
    root.insert(key, value);
    return writeObject(path, root);
}

QString getZVShowRecordPath()
{
    const QJsonObject root = parseObject(getLocalAppDataRoot() + QStringLiteral("ZavmoShow/SysConfig.config"));
    return forwardSlashes(
        root.value(QStringLiteral("sys")).toObject().value(QStringLiteral("sys_record_path")).toString());
}

QString getObsClassicRecordPath()
{
    // Always the "Untitled" profile, whichever profile is current.
    return videosOr(iniValue(obsClassicDir() + QStringLiteral("profiles/Untitled.ini"), "Publish", "LastSaveDir"));
}

void getObsClassicPushInfo(QString& url, QString& playPath)
{
    url.clear();
    playPath.clear();
    const QString profile = obsClassicProfile();
    if (profile.isEmpty())
        return;
    const QString path = obsClassicDir() + QStringLiteral("profiles/") + profile + QStringLiteral(".ini");
    url = iniValue(path, "Publish", "URL");
    playPath = iniValue(path, "Publish", "PlayPath");
}

bool setObsClassicPushInfo(const QString& url, const QString& playPath)
{
    const QString profile = obsClassicProfile();
    if (profile.isEmpty())
        return false;
    const QString folder = obsClassicDir() + QStringLiteral("profiles");
    if (!makeFolder(folder))
        return false;
    const QString path = folder + QStringLiteral("/") + profile + QStringLiteral(".ini");
    const Read state = iniState(path);
    if (state == Read::Failed)
        return false;
    if (state == Read::Missing && !saveBytes(path, "\xEF\xBB\xBF")) {
        qCritical().noquote() << "by kx create obs classic profile failed , file : " + path;
        return false;
    }
    return setIniValues(path, "Publish", {{"Mode", QStringLiteral("0")}, {"URL", url}, {"PlayPath", playPath}});
}

QString getObsStudioRecordPath()
{
    const QString profileDir = obsStudioProfileDir();
    if (profileDir.isEmpty())
        return videosOr(QString());
    return videosOr(iniValue(profileDir + QStringLiteral("/basic.ini"), "SimpleOutput", "FilePath"));
}

void getObsStudioPushInfo(QString& server, QString& key)
{
    server.clear();
    key.clear();
    const QString profileDir = obsStudioProfileDir();
    if (profileDir.isEmpty())
        return;
    const QJsonObject settings =
        parseObject(profileDir + QStringLiteral("/service.json")).value(QStringLiteral("settings")).toObject();
    server = settings.value(QStringLiteral("server")).toString();
    key = settings.value(QStringLiteral("key")).toString();
}

bool setObsStudioPushInfo(const QString& server, const QString& key)
{
    if (!ensureObsStudioGlobal())
        return false;
    const QString profileDir = obsStudioProfileDir();
    if (profileDir.isEmpty())
        return false;
    if (!makeFolder(profileDir))
        return false;
    const QString path = profileDir + QStringLiteral("/service.json");
    QJsonObject root;
    if (!readObjectForRewrite(path, &root))
        return false;
    QJsonObject settings = root.value(QStringLiteral("settings")).toObject();
    settings.insert(QStringLiteral("server"), server);
    settings.insert(QStringLiteral("key"), key);
    root.insert(QStringLiteral("settings"), settings);
    root.insert(QStringLiteral("type"), QStringLiteral("rtmp_custom"));
    return writeObject(path, root);
}
