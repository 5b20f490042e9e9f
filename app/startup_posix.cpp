#include "startup.h"

// The POSIX loader never looks in the current folder unless told to.
void hardenProcess()
{
}
