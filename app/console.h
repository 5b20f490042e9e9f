#pragma once
// The terminal of the command line, which differs between the platforms.

// Lets standard output and standard error reach the console the program was started from where
// they lead nowhere: a Windows program with a window has no console of its own. Output that was
// redirected into a file or pipe stays there.
void attachParentConsole();

// Whether standard error is a terminal, where progress may be shown.
bool stderrIsTerminal();
