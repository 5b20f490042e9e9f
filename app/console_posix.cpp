#include "console.h"

#include <cstdio>

#include <unistd.h>

void attachParentConsole()
{
    // A POSIX program keeps the terminal it was started from.
}

bool stderrIsTerminal()
{
    return isatty(fileno(stderr)) == 1;
}
