#pragma once
// Running the program Olvane from tests and the start-up benchmark: a copy
// in a folder of its own (the program writes beside itself), and what its
// info log says. The log is the day's info file of the temporary folder of
// this process's environment, which the program shares when it inherits it.

#include <QString>

namespace olvanetest {

// The line the program logs once its main window has painted.
inline const char* const kPaintedText = "main window painted";

// Copies the program of this build into dir (created); its path, or "" when
// the copy failed.
QString placeOlvane(const QString& dir);
// The lines of today's info log holding text.
int infoLogCount(const QString& text);
// Polls (every millisecond) until the info log holds at least count lines
// with text; false when timeoutMs passed first.
bool waitForInfoLog(const QString& text, int count, int timeoutMs);

} // namespace olvanetest
