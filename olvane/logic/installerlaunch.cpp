#include "logic/installerlaunch.h"

#include "platform/shell.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

namespace {

const int kStarted = 42;
const int kFileNotFound = 2;
const int kAccessDenied = 5;

} // namespace

int shellOpenHidden(const QString& file, const QString& parameters)
{
    const QFileInfo info(file);
    if (file.isEmpty() || !info.exists())
        return kFileNotFound;
    if (!info.isFile())
        return kAccessDenied;
    if (!info.isExecutable()) {
        QFile program(file);
        if (!program.setPermissions(program.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser)) {
            qWarning() << "by kx shellOpenHidden {cannot make executable}" << file;
            return kAccessDenied;
        }
    }
    const bool started = platform::shell::shellExecute(file.toStdString(), parameters.toStdString(), std::string());
    return started ? kStarted : kAccessDenied;
}
