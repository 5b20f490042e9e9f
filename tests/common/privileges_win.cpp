#include "privileges.h"

// Windows honours the read-only attribute for administrators too.
void dropFileOverrides()
{
}

bool restoreOverrides()
{
    return false;
}
