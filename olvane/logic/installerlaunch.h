#pragma once
// Starts an installer, uninstaller or repair tool the way the logic layer
// asks the shell to: the "open" verb, the given parameters, no working folder
// of its own (ours is inherited), no window.

#include <QString>

// The shell's result: above 32 when the program was started; otherwise 2
// (file not found) or 5 (access denied), as the shell would report them.
// A downloaded installer lacks the execute permission that any ".exe" has
// on Windows: the owner's is added before the start.
int shellOpenHidden(const QString& file, const QString& parameters);
