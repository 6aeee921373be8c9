#pragma once
// Finds every Qt resource path (":/...") that source files name: quoted in
// C++ and .ui files, or inside url(...) in style sheets.

#include <QMap>
#include <QString>
#include <QStringList>

namespace zavmo::test {

// Resource path -> the places ("file:line", relative to root) that name it,
// for every file below root with one of the suffixes (e.g. "cpp", "qss").
QMap<QString, QStringList> namedResources(const QString& root, const QStringList& suffixes);

} // namespace zavmo::test
