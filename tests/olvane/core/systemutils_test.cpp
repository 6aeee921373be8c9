#include "core/systemutils.h"

#include "platform/registry.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <quazip/JlCompress.h>
#include <quazip/quazip.h>
#include <quazip/quazipfile.h>

#include <unistd.h>

namespace {

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

template <typename Pred> bool waitFor(Pred pred, int ms = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > ms)
            return false;
        QThread::msleep(20);
    }
    return true;
}

// Writes a zip archive of (name, content) entries; a name ending in " ->"
// becomes a symbolic link whose target is the content.
bool writeZip(const QString& path, const QList<QPair<QString, QByteArray>>& entries)
{
    QFile::remove(path);
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const auto& [rawName, content] : entries) {
        const bool link = rawName.endsWith(" ->");
        QuaZipNewInfo info(link ? rawName.chopped(3) : rawName);
        if (link)
            info.externalAttr = quint32(0120777) << 16;
        QuaZipFile entry(&zip);
        if (!entry.open(QIODevice::WriteOnly, info) || entry.write(content) != content.size())
            return false;
        entry.close();
    }
    zip.close();
    return zip.getZipError() == 0;
}

} // namespace

TEST(MakePath, AcceptsOnlyAbsolutePathsWithTwoComponents)
{
    QTemporaryDir dir;
    EXPECT_TRUE(makePath(dir.path() + "/安装/OBS"));
    EXPECT_TRUE(QDir(dir.path() + "/安装/OBS").exists());
    EXPECT_TRUE(makePath(dir.path())); // exists already
    EXPECT_FALSE(makePath("/tmp/"));

    EXPECT_FALSE(makePath(""));
    EXPECT_FALSE(makePath("/"));
    EXPECT_FALSE(makePath("//"));
    EXPECT_FALSE(makePath("//server/share"));
    EXPECT_FALSE(makePath("/obs-studio"));
    EXPECT_FALSE(makePath("obs/studio"));
    EXPECT_FALSE(makePath("C:"));
    EXPECT_FALSE(makePath("C:obs"));
    EXPECT_FALSE(makePath("C:/obs"));
    EXPECT_FALSE(makePath("/dev/null/sub")); // cannot be created
}

TEST(DeleteDirectory, RemovesHiddenEntriesAndUnlinksSymlinks)
{
    QTemporaryDir root;
    const QString outside = root.filePath("outside");
    const QString target = root.filePath("target");
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(writeFile(outside + "/keep.txt", "keep"));
    ASSERT_TRUE(QDir().mkpath(target + "/sub/.hidden"));
    ASSERT_TRUE(writeFile(target + "/.secret", "x"));
    ASSERT_TRUE(writeFile(target + "/sub/.hidden/file", "x"));
    ASSERT_TRUE(QFile::link(outside, target + "/link"));
    ASSERT_TRUE(QFile::link(outside + "/keep.txt", target + "/sub/filelink"));

    EXPECT_TRUE(deleteDirectory(target));
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(readFile(outside + "/keep.txt"), "keep");
    EXPECT_TRUE(QDir(root.path()).exists()); // the empty parent stays

    EXPECT_TRUE(deleteDirectory(root.filePath("never-was")));
    EXPECT_FALSE(deleteDirectory(""));
}

TEST(DeleteDirectory, APathThatIsALinkRemovesOnlyTheLink)
{
    QTemporaryDir root;
    const QString outside = root.filePath("outside");
    ASSERT_TRUE(QDir().mkpath(outside + "/sub"));
    ASSERT_TRUE(writeFile(outside + "/sub/keep.txt", "keep"));
    for (const QString& suffix : {QString(), QString("/"), QString("//")}) {
        const QString link = root.filePath("link");
        ASSERT_TRUE(QFile::link(outside, link));
        EXPECT_TRUE(deleteDirectory(link + suffix)) << suffix.toStdString();
        EXPECT_FALSE(QFileInfo(link).isSymLink()) << suffix.toStdString();
        EXPECT_EQ(readFile(outside + "/sub/keep.txt"), "keep") << suffix.toStdString();
    }
}

TEST(CopyFileOverwrite, ReplacesOnlyAfterASuccessfulCopy)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("new.ini");
    const QString target = dir.filePath("version.ini");
    ASSERT_TRUE(writeFile(source, "new"));
    ASSERT_TRUE(writeFile(target, "old"));

    // Each failure fails alone and logs its reason.
    static QStringList logged;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& line) { logged << line; });
    const auto failsWith = [](const QString& from, const QString& to, bool overwrite, const char* reason) {
        logged.clear();
        return !copyFileOverwrite(from, to, overwrite) && logged.size() == 1 && logged[0].contains(reason);
    };
    EXPECT_TRUE(failsWith(source, target, false, "{target exists}"));
    EXPECT_TRUE(failsWith(dir.filePath("missing"), target, true, "{source missing}"));
    // A source that cannot be read (a folder) fails without touching the target.
    EXPECT_TRUE(failsWith(dir.path(), target, true, "{copy failed}"));
    EXPECT_EQ(readFile(target), "old");
    EXPECT_TRUE(failsWith(source, dir.filePath("no/folder/version.ini"), true, "{cannot create a temporary file}"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("full") && writeFile(dir.filePath("full/keep"), "keep"));
    EXPECT_TRUE(failsWith(source, dir.filePath("full"), true, "{cannot replace the target}"));
    qInstallMessageHandler(previous);
    EXPECT_EQ(readFile(dir.filePath("full/keep")), "keep");

    EXPECT_TRUE(copyFileOverwrite(source, target, true));
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST(UnzipToDir, ExtractsAndRefusesEntriesLeavingTheFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.filePath("src/bin")));
    ASSERT_TRUE(writeFile(dir.filePath("src/bin/LiveCodeModule.exe"), "module"));
    const QString good = dir.filePath("good.zip");
    ASSERT_TRUE(JlCompress::compressDir(good, dir.filePath("src")));
    EXPECT_TRUE(unzipToDir(good, dir.filePath("out")));
    EXPECT_EQ(readFile(dir.filePath("out/bin/LiveCodeModule.exe")), "module");

    for (const QString& name :
         {QString("../evil.txt"), QString("/abs.txt"), QString("C:/drive.txt"), QString("a\\..\\..\\evil.txt")}) {
        const QString bad = dir.filePath("bad.zip");
        QFile::remove(bad);
        {
            QuaZip zip(bad);
            ASSERT_TRUE(zip.open(QuaZip::mdCreate));
            QuaZipFile entry(&zip);
            ASSERT_TRUE(entry.open(QIODevice::WriteOnly, QuaZipNewInfo(name)));
            entry.write("evil");
            entry.close();
            zip.close();
        }
        EXPECT_FALSE(unzipToDir(bad, dir.filePath("bad-out"))) << name.toStdString();
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("evil.txt")));
    }
    EXPECT_FALSE(unzipToDir(dir.filePath("missing.zip"), dir.filePath("none")));
}

TEST(UnzipToDir, NeverWritesThroughSymbolicLinks)
{
    QTemporaryDir dir;
    const QString outside = dir.filePath("outside");
    const QString target = dir.filePath("target");
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QDir().mkpath(target));
    ASSERT_TRUE(writeFile(outside + "/victim.txt", "victim"));
    const QString zip = dir.filePath("a.zip");

    // A link entry and then a file through it: the whole archive is refused.
    ASSERT_TRUE(writeZip(zip, {{"ok.txt", "ok"}, {"link ->", outside.toUtf8()}, {"link/planted.txt", "evil"}}));
    EXPECT_FALSE(unzipToDir(zip, target));
    EXPECT_FALSE(QFileInfo::exists(outside + "/planted.txt"));
    EXPECT_FALSE(QFileInfo(target + "/link").isSymLink());
    // A link alone is refused too.
    ASSERT_TRUE(writeZip(zip, {{"sub/link ->", "/etc/passwd"}}));
    EXPECT_FALSE(unzipToDir(zip, target));
    EXPECT_FALSE(QFileInfo(target + "/sub/link").isSymLink());

    // Links already below the target (left by an earlier archive): neither a
    // folder link on the way nor a link in the file's place is written through.
    ASSERT_TRUE(QFile::link(outside, target + "/dirlink"));
    ASSERT_TRUE(QFile::link(outside + "/victim.txt", target + "/victim.txt"));
    ASSERT_TRUE(writeZip(zip, {{"dirlink/victim.txt", "evil"}}));
    EXPECT_FALSE(unzipToDir(zip, target));
    ASSERT_TRUE(writeZip(zip, {{"victim.txt", "evil"}}));
    EXPECT_FALSE(unzipToDir(zip, target));
    EXPECT_EQ(readFile(outside + "/victim.txt"), "victim");
    EXPECT_EQ(QDir(outside).entryList(QDir::Files).size(), 1);

    // The same names without links in the way extract normally.
    ASSERT_TRUE(writeZip(zip, {{"dir/victim.txt", "mine"}}));
    EXPECT_TRUE(unzipToDir(zip, target));
    EXPECT_EQ(readFile(target + "/dir/victim.txt"), "mine");
}

TEST(Processes, LongExecutableNameIsFoundAndKilledByName)
{
    QTemporaryDir dir;
    // Longer than the 15 characters the kernel keeps in comm.
    const QString name = QStringLiteral("ZavmoLongProcessName_%1.exe").arg(getpid());
    const QString program = dir.filePath(name);
    ASSERT_TRUE(QFile::copy("/bin/sleep", program));
    ASSERT_TRUE(startDetachedProcess(program, {"30"}));

    bool ok = false;
    EXPECT_TRUE(waitFor([&] { return isProcessRunning(name, &ok); }));
    EXPECT_TRUE(ok);
    EXPECT_FALSE(isProcessRunning(name.toLower()));
    EXPECT_TRUE(getProcessNameList().contains(name));

    EXPECT_TRUE(killProcessByName(name));
    EXPECT_TRUE(waitFor([&] { return !isProcessRunning(name); }));
    EXPECT_TRUE(killProcessByName(name)); // nothing matches: still true

    EXPECT_FALSE(startDetachedProcess("", {}));
    EXPECT_FALSE(startDetachedProcess(dir.filePath("missing.exe"), {}));
}

TEST(Processes, FailedScanIsReportedApartFromAnEmptyList)
{
    qputenv("ZAVMO_PROC_ROOT", "/nonexistent-proc");
    bool ok = true;
    EXPECT_TRUE(getProcessNameList(&ok).isEmpty());
    EXPECT_FALSE(ok);
    EXPECT_FALSE(isProcessRunning("sleep", &ok));
    EXPECT_FALSE(ok);
    EXPECT_FALSE(killProcessByName("sleep"));
    qunsetenv("ZAVMO_PROC_ROOT");
}

TEST(Processes, WorkingFolderIsCutAtTheLastSeparator)
{
    EXPECT_EQ(programWorkingDir("/opt/obs/bin/obs64.exe"), "/opt/obs/bin/");
    EXPECT_EQ(programWorkingDir("C:\\OBS\\OBS.exe"), "C:\\OBS\\");
    EXPECT_EQ(programWorkingDir("/opt/kestro/resources\\tools\\OBS\\OBS.exe"), "/opt/kestro/resources\\tools\\OBS\\");
    EXPECT_EQ(programWorkingDir("OBS.exe"), "./");
}

TEST(Shell, UrlsAreRecordedInsteadOfOpened)
{
    const QString record = qEnvironmentVariable("ZAVMO_SHELL_RECORD");
    ASSERT_FALSE(record.isEmpty());
    openUrl("https://www.zavmo.example/room/my");
    EXPECT_TRUE(readFile(record).contains("open https://www.zavmo.example/room/my\n"));
    EXPECT_FALSE(shellExecuteOpen(L"", L""));
}

TEST(Shell, OnlyExistingAbsoluteFoldersAreOpened)
{
    const QString record = qEnvironmentVariable("ZAVMO_SHELL_RECORD");
    QFile::remove(record);
    QTemporaryDir dir;
    const QString folder = dir.filePath("录像 $(id) -x");
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_TRUE(openFolder(folder + "/"));
    const QString expected = "open " + folder + "\n";
    EXPECT_EQ(QString::fromUtf8(readFile(record)), expected);

    // A relative name is refused even where it would name a folder.
    const QString file = dir.filePath("a file");
    ASSERT_TRUE(writeFile(file, "x"));
    const QString current = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    for (const QString& refused : {QString(), dir.filePath("missing"), file, QStringLiteral("录像 $(id) -x"),
                                   QStringLiteral(":/Qss"), QStringLiteral("C:/Videos")})
        EXPECT_FALSE(openFolder(refused)) << refused.toStdString();
    QDir::setCurrent(current);
    EXPECT_EQ(QString::fromUtf8(readFile(record)), expected);
}

TEST(Registry, UninstallFolderAndRuntimeKeys)
{
    using platform::registry::Root;
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    const std::string kestro = QStringLiteral("Kestro直播管家").toStdString();
    EXPECT_EQ(getUninstallString(QString::fromStdString(kestro)), "");

    ASSERT_TRUE(platform::registry::writeString(Root::LocalMachine, uninstall + kestro, "UninstallString",
                                                "\"/opt/kestro live/uninst.exe\" /S"));
    EXPECT_EQ(getUninstallString(QString::fromStdString(kestro)), "/opt/kestro live/");
    ASSERT_TRUE(platform::registry::writeString(Root::LocalMachine, uninstall + kestro, "UninstallString",
                                                "\"/opt/kestro/uninst.exe\""));
    EXPECT_EQ(getUninstallString(QString::fromStdString(kestro)), "/opt/kestro/");
    ASSERT_TRUE(platform::registry::writeString(Root::LocalMachine, uninstall + kestro, "UninstallString",
                                                "C:\\Kestro\\uninst.exe"));
    EXPECT_EQ(getUninstallString(QString::fromStdString(kestro)), "C:\\Kestro\\");
    // Unquoted with switches: the program ends before the first one.
    EXPECT_EQ(uninstallCommandFolder("C:\\x y\\un.exe /S -q"), "C:\\x y\\");
    EXPECT_EQ(uninstallCommandProgram("C:\\x y\\un.exe /S"), "C:\\x y\\un.exe");
    EXPECT_EQ(uninstallCommandProgram("/opt/a -1/un.exe -uninstall"), "/opt/a -1/un.exe");
    ASSERT_TRUE(
        platform::registry::writeString(Root::LocalMachine, uninstall + kestro, "UninstallString", "uninst.exe"));
    EXPECT_EQ(getUninstallString(QString::fromStdString(kestro)), "");

    // Of sibling keys, the one asked for.
    ASSERT_TRUE(platform::registry::writeString(Root::LocalMachine, uninstall + "OBS Studio", "UninstallString",
                                                "/opt/obs-studio/uninstall.exe"));
    ASSERT_TRUE(platform::registry::writeString(Root::LocalMachine, uninstall + "obs32", "UninstallString",
                                                "/opt/obs32/uninstall.exe"));
    EXPECT_EQ(getUninstallString("OBS Studio"), "/opt/obs-studio/");
    EXPECT_EQ(getUninstallString("obs32"), "/opt/obs32/");
    EXPECT_EQ(getUninstallString(QString::fromStdString(kestro)), "");
    EXPECT_EQ(getUninstallString("obs"), "");

    EXPECT_EQ(isNetFrameworkInstalled(), 0);
    ASSERT_TRUE(platform::registry::createKey(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v4.0.30319"));
    EXPECT_EQ(isNetFrameworkInstalled(), 2);
    ASSERT_TRUE(platform::registry::createKey(Root::LocalMachine, "SOFTWARE\\Microsoft\\.NETFramework\\v2.0.50727"));
    EXPECT_EQ(isNetFrameworkInstalled(), 3);
}

TEST(Strings, ChineseTextThroughTheGbkCodePage)
{
    const std::wstring wide = L"C:\\直播\\OBS推流.ini";
    const std::string gbk = ws2s(wide);
    EXPECT_EQ(gbk, "C:\\\xd6\xb1\xb2\xa5\\OBS\xcd\xc6\xc1\xf7.ini");
    EXPECT_EQ(s2ws(gbk), wide);
    EXPECT_EQ(qstringFromWString(wide), QStringLiteral("C:\\直播\\OBS推流.ini"));
    EXPECT_EQ(qstringToWString(QStringLiteral("秀场\U0001F600")), L"秀场\U0001F600");
}
