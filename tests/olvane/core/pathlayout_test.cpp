#include "core/pathlayout.h"

#include "core/applogger.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

TEST(PathLayout, SeparatorRules)
{
    EXPECT_EQ(pathlayout::withTrailingSeparator("/tmp"), "/tmp/");
    EXPECT_EQ(pathlayout::withTrailingSeparator("/tmp/"), "/tmp/");
    EXPECT_EQ(pathlayout::withTrailingSeparator("C:\\Temp\\"), "C:\\Temp\\");

    EXPECT_EQ(pathlayout::parentRootOf("/home/u/.local/share/Olvane"), "/home/u/.local/share/");
    EXPECT_EQ(pathlayout::parentRootOf("C:\\Users\\u\\AppData\\Local\\Olvane"), "C:\\Users\\u\\AppData\\Local\\");
    EXPECT_EQ(pathlayout::parentRootOf("Olvane"), "Olvane/");
    EXPECT_EQ(pathlayout::parentRootOf("/x"), "/");
    EXPECT_EQ(pathlayout::parentRootOf("/"), "/");
}

TEST(PathLayout, TextsKeepTheirDoubledSeparators)
{
    const QString temp = QDir::tempPath();
    ASSERT_FALSE(temp.endsWith('/'));
    EXPECT_EQ(getTempAppDir(), temp + "/Olvane/");
    EXPECT_EQ(getTempDataDir(), temp + "/Olvane//data/");
    EXPECT_EQ(getDownloadDir(), temp + "/Olvane//data//download");
    EXPECT_EQ(getRepairDir(), temp + "/Olvane//data//repair");
    EXPECT_EQ(getImageDir(), temp + "/Olvane//data//image");
    EXPECT_TRUE(QDir(getImageDir()).exists());

    const QString data = qEnvironmentVariable("XDG_DATA_HOME") + "/" + QCoreApplication::applicationName();
    EXPECT_EQ(getDataLocationDir(), data + "/");
    EXPECT_EQ(getSystemSettingPath(), data + "//systemSetting");
    EXPECT_EQ(getUserInfoPath(), data + "//userInfo");
    EXPECT_EQ(getLocalAppDataRoot(), qEnvironmentVariable("XDG_DATA_HOME") + "/");
    EXPECT_EQ(getRoamingAppDataRoot(), qEnvironmentVariable("XDG_CONFIG_HOME") + "/");

    const QString app = QCoreApplication::applicationDirPath();
    EXPECT_EQ(getDeaultDataPath(), app + "/deault.data");
    EXPECT_EQ(getLiveCodeModuleExePath(), app + "/module/LiveCodeModule/LiveCodeModule.exe");
    EXPECT_FALSE(QDir(getLiveCodeModuleDir()).exists());
    EXPECT_EQ(getModuleDir(), app + "/module");
    EXPECT_TRUE(QDir(app + "/module").exists());
}

TEST(PathLayout, DeletedTemporaryFolderIsCreatedAgain)
{
    ASSERT_TRUE(QDir(getDownloadDir()).exists());
    ASSERT_TRUE(QDir(QDir::tempPath() + "/Olvane").removeRecursively());
    EXPECT_TRUE(QDir(getRepairDir()).exists());
}

namespace {

int modeOf(const QString& path)
{
    struct stat st
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QString fallbackRoot()
{
    return qEnvironmentVariable("XDG_CACHE_HOME") + "/Olvane/temp/";
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SharedTemporaryFolder : public ::testing::Test
{
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset()
    {
        QFile::remove(shared().chopped(1)); // a link
        QDir(shared()).removeRecursively();
        QDir(fallbackRoot()).removeRecursively();
    }
    static QString shared() { return QDir::tempPath() + "/Olvane/"; }
};

} // namespace

TEST_F(SharedTemporaryFolder, IsCreatedPrivateAndAnOldOpenOneIsNarrowed)
{
    EXPECT_EQ(getTempAppDir(), shared());
    EXPECT_EQ(getDownloadDir(), shared() + "/data//download");
    for (const QString& path : {shared(), shared() + "/data", getDownloadDir(), getRepairDir(), getImageDir()})
        EXPECT_EQ(modeOf(path), 0700) << path.toStdString();

    ASSERT_EQ(::chmod(QFile::encodeName(shared()).constData(), 0755), 0);
    EXPECT_EQ(getTempAppDir(), shared());
    EXPECT_EQ(modeOf(shared()), 0700);
    EXPECT_FALSE(QDir(fallbackRoot()).exists());
}

TEST_F(SharedTemporaryFolder, PlantedLinkOrAFolderOthersControlIsReplacedByAPrivateOne)
{
    AppLogger::instance().install();
    const QString fallback = fallbackRoot();
    QTemporaryDir elsewhere;
    const QString target = elsewhere.path();
    const QString link = shared().chopped(1);

    // A link planted in the shared folder's place.
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_EQ(getTempAppDir(), fallback);
    EXPECT_EQ(getDownloadDir(), fallback + "/data//download");
    EXPECT_TRUE(QDir(fallback + "/data//download").exists());
    EXPECT_EQ(modeOf(fallback), 0700);
    qInfo("through the link?");
    EXPECT_EQ(AppLogger::logFilePath(QtInfoMsg).left(fallback.size()), fallback);
    EXPECT_TRUE(readAll(AppLogger::logFilePath(QtInfoMsg)).contains("through the link?"));
    EXPECT_TRUE(QDir(target).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    ASSERT_TRUE(QFile::remove(link));

    // A folder others may write to.
    ASSERT_TRUE(QDir().mkdir(link));
    ASSERT_EQ(::chmod(QFile::encodeName(link).constData(), 01777), 0);
    EXPECT_EQ(getTempAppDir(), fallback);
    EXPECT_EQ(getRepairDir(), fallback + "/data//repair");
    EXPECT_EQ(modeOf(link), 01777);

    // A folder of another user (only root can make one).
    if (::geteuid() == 0) {
        ASSERT_EQ(::chmod(QFile::encodeName(link).constData(), 0700), 0);
        ASSERT_EQ(::chown(QFile::encodeName(link).constData(), 65534, 65534), 0);
        EXPECT_EQ(getTempAppDir(), fallback);
        EXPECT_EQ(AppLogger::logFilePath(QtDebugMsg).left(fallback.size()), fallback);
    }
    QDir(link).removeRecursively();

    // A link below a private shared folder.
    EXPECT_EQ(getTempAppDir(), shared());
    ASSERT_TRUE(QDir().mkpath(shared() + "data"));
    ASSERT_TRUE(QFile::link(target, shared() + "data/image"));
    EXPECT_EQ(getImageDir(), fallback + "/data//image");
    EXPECT_EQ(getDownloadDir(), shared() + "/data//download");
    EXPECT_TRUE(QDir(target).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));

    // Said once in the log, however often it happened.
    AppLogger::instance().uninstall();
    const QByteArray errors = readAll(fallback + QDate::currentDate().toString("MMdd_") + "error.log");
    EXPECT_EQ(errors.count("shared temporary folder is not private"), 1) << errors.constData();
}
