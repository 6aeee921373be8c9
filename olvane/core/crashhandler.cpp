#include "core/crashhandler.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "core/appconfig.h"
#include "core/deployment.h"
#include "core/pathlayout.h"
#include "platform/crash.h"
#include "platform/process.h"

namespace {

const char kFtpFolder[] = "//Olvane//";
const char kFtpCredential[] = "crashup_acct:Wq7vLp2sXk9dRm4T";
const int kDumpPathField = 1; // index of the dump path among the four fields

const char kGraphicsModule10[] = "D3D10RenderSystem.dll";
const char kGraphicsModule11[] = "D3D11RenderSystem.dll";
const char kMediaEngineModule[] = "vexmediaengine.dll";
const char kX264Module[] = "libx264-140.dll";

const char kCaption[] = "崩溃提示";
const char kGraphicsHint[] = "程序崩溃在%s中,可能是显卡驱动没更新！\n请更新显卡驱动后重新尝试";
const char kEncoderHint[] =
    "程序崩溃在%s中,可能是显卡驱动没更新！\n请更新显卡驱动后重新尝试或者将编码器设置为软件编码器";
// The second line names no support group: those are deployment data.
const char kGeneralMessage[] = "直播伴侣已经崩溃，请重试！\n"
                               "如果多次出现此问题，请加入平台的用户支持群，并向管理员反馈。";

platform::crash::Messages crashMessages()
{
    platform::crash::Messages m;
    m.caption = kCaption;
    // A fault inside these modules themselves gets the general message.
    m.noHintFaultModules = {kGraphicsModule10, kGraphicsModule11, kMediaEngineModule};
    m.hints = {
        {kGraphicsModule10, "", kGraphicsHint},
        {kGraphicsModule11, "", kGraphicsHint},
        {kMediaEngineModule, kX264Module, kEncoderHint},
    };
    m.general = kGeneralMessage;
    return m;
}

QString timeStamp(const QDateTime& t)
{
    const QDate d = t.date();
    const QTime c = t.time();
    return QStringLiteral("%1-%2%3-%4%5-%6")
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(d.month(), 2, 10, QLatin1Char('0'))
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(c.hour(), 2, 10, QLatin1Char('0'))
        .arg(c.minute(), 2, 10, QLatin1Char('0'))
        .arg(c.second(), 2, 10, QLatin1Char('0'));
}

} // namespace

QString crashDumpFileName(const QString& baseName, const QString& version, const QDateTime& localTime)
{
    return baseName + QLatin1Char('_') + timeStamp(localTime) + QLatin1Char('_') + version + QStringLiteral(".dmp");
}

QString crashReporterCommandLine(const QString& ftpHost, const QString& dumpPath, int ftpPort)
{
    const QString url = QStringLiteral("ftp://") + ftpHost + QLatin1String(kFtpFolder);
    return QStringLiteral("\"%1\"   \"%2\"    \"%3\"   \"%4\"")
        .arg(url, dumpPath, QLatin1String(kFtpCredential), QString::number(ftpPort));
}

QStringList crashReporterArguments(const QString& reporterPath, const QString& commandLine)
{
    QStringList argv{reporterPath};
    for (const std::string& field : platform::process::splitCommandLine(commandLine.toStdString()))
        argv << QString::fromStdString(field);
    return argv;
}

QString crashMessage(const QString& faultModule, const QStringList& callerModules)
{
    std::vector<std::string> callers;
    for (const QString& m : callerModules)
        callers.push_back(m.toStdString());
    return QString::fromStdString(platform::crash::chooseMessage(crashMessages(), faultModule.toStdString(), callers));
}

bool installCrashFilter()
{
    const QString appDir = getAppDir();
    if (appDir.isEmpty())
        return false;

    platform::crash::Config config;
    config.dumpFolder = appDir.toStdString();
    // Our programs carry no ".exe" here: the file name is the base name.
    config.dumpBaseName = QFileInfo(QCoreApplication::applicationFilePath()).fileName().toStdString();
    const QString version = getAppVersion();
    config.version = version.toStdString();
    config.reporterPath = (appDir + QStringLiteral("/Faultmail")).toStdString();

    // The dump path's time is known only at crash time: split the command line
    // built with a stand-in time now; the handler puts the real dump path into
    // the dump path's field.
    const QString standInPath = appDir + QLatin1Char('/') +
                                crashDumpFileName(QString::fromStdString(config.dumpBaseName), version,
                                                  QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
    const QString ftpHost = deployment::crashFtpHost();
    const int ftpPort = deployment::crashFtpPort();
    QStringList argv = crashReporterArguments(QString::fromStdString(config.reporterPath),
                                              crashReporterCommandLine(ftpHost, standInPath, ftpPort));
    if (argv.size() != 5) {
        // A folder name with a double quote breaks the quoting; the reporter
        // still gets the four fields.
        argv = QStringList{QString(), QStringLiteral("ftp://") + ftpHost + QLatin1String(kFtpFolder), standInPath,
                           QLatin1String(kFtpCredential), QString::number(ftpPort)};
    }
    for (int i = 1; i < argv.size(); ++i)
        config.reporterArgs.push_back(argv[i].toStdString());
    config.dumpPathArg = kDumpPathField;
    config.messages = crashMessages();
    return platform::crash::install(config);
}
