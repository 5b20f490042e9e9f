#include "privileges.h"

// Windows honours the read-only attribute for administrators too.
void dropFileOverrides()
{
}
