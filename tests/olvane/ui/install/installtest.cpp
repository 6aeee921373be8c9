#include "installtest.h"

#include "core/pathlayout.h"
#include "core/serverurltable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <fstream>

void InstallDialogTest::SetUpTestSuite()
{
    qputenv("ZAVMO_FAKE_TOOL_DELAY_MS", "20");
    ASSERT_NO_FATAL_FAILURE(listener = startListener());
    config = sharedConfig();
}

void InstallDialogTest::SetUp()
{
    qputenv("ZAVMO_WINDOWS_ROOT", (dir / "windows").toUtf8());
    QFile::remove(qEnvironmentVariable("ZAVMO_REGISTRY"));
    QDir(getRepairDir()).removeRecursively();
    QDir(cdnFolder()).removeRecursively();
    OlvaneWorld::SetUp();
    config->setEnvironmentRepairIgnore(false);
    link->listener = listener;
    link->config = config;
}

void InstallDialogTest::TearDown()
{
    qunsetenv("ZAVMO_WINDOWS_ROOT");
}

QString InstallDialogTest::cdnPath()
{
    return QUrl(QString::fromUtf8(obsInstallerUrl())).adjusted(QUrl::RemoveFilename).path().mid(1).chopped(1);
}

QString InstallDialogTest::cdnFolder()
{
    return QString::fromStdString(sim->filesRoot()) + "/" + cdnPath();
}

void InstallDialogTest::serve(const QString& file, const std::string& program)
{
    QDir().mkpath(cdnFolder());
    const QString target = cdnFolder() + "/" + file;
    QFile::remove(target);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(program), target)) << program;
}

void InstallDialogTest::unserve(const QString& file)
{
    QFile::remove(cdnFolder() + "/" + file);
}

int InstallDialogTest::downloadsOf(const QString& file)
{
    return requestsOf(QStringLiteral("/%1/%2").arg(cdnPath(), file));
}

void InstallDialogTest::serveAt(const QString& url, const std::string& program)
{
    const QString target = QString::fromStdString(sim->filesRoot()) + QUrl(url).path();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(target).path())) << target.toStdString();
    QFile::remove(target);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(program), target)) << program;
}

int InstallDialogTest::requestsOf(const QString& url)
{
    std::ifstream in(sim->requestsFile());
    const std::string needle = QUrl(url).path().toStdString();
    int count = 0;
    for (std::string line; std::getline(in, line);)
        count += line.find(needle) != std::string::npos ? 1 : 0;
    return count;
}
