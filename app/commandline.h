#pragma once
// The program without a window: the dialog's work (switching logs, the level, clearing, the
// support archive) from the command line, through the same functions.

#include <QStringList>

// Whether the program's arguments ask for the command line rather than the dialog: any argument
// but Qt's own options (such as "-platform offscreen" or "-style=fusion"), which the dialog
// takes. A stray word or "-h" is the command line's, and needs no display.
bool wantsCommandLine(int argc, char **argv);

// Does what `arguments` (the program's name first) ask and returns the exit code: 0 when all is
// done; 1 when it is done in part, every file that could not be handled named on standard error;
// 2 for bad usage (an unknown option, level or component), which changes nothing. Needs an
// application object, but no display.
int runCommandLine(const QStringList &arguments);
