#pragma once

#include <QString>

// True when name can be joined to a folder as one file name and stay in it:
// not empty, not "." or "..", no "/" or backslash, no control character.
// Names that come from a server or from another program's files pass here
// before they become part of a path.
bool isSafeFileName(const QString& name);

// name made safe in the sense above: every "/", backslash and control
// character becomes "_", and an empty name, "." or ".." becomes "_" as well.
// A safe name comes back unchanged.
QString safeFileName(const QString& name);
