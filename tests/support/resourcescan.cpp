#include "resourcescan.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

namespace zavmo::test {

QMap<QString, QStringList> namedResources(const QString& root, const QStringList& suffixes)
{
    // After a quote, "url(", or the ">" of a .ui element.
    static const QRegularExpression pattern(QStringLiteral(R"((?:"|url\(\s*|>)(:/[^"'()<>\s]+))"));
    QMap<QString, QStringList> found;
    const QDir base(root);
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!suffixes.contains(QFileInfo(path).suffix()))
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        int lineNo = 0;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine());
            ++lineNo;
            auto matches = pattern.globalMatch(line);
            while (matches.hasNext())
                found[matches.next().captured(1)]
                    << base.relativeFilePath(path) + QLatin1Char(':') + QString::number(lineNo);
        }
    }
    return found;
}

} // namespace zavmo::test
