#include "toolstandin.h"

// The tools are found by name as .exe files, and a script cannot take their place.
bool writeWaitingSystemTool(const QString &, const QString &)
{
    return false;
}
