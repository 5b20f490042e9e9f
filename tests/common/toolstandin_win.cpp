#include "toolstandin.h"

// ipconfig.exe is found by name, and a script cannot take its place.
bool writeWaitingNetworkTool(const QString &, const QString &)
{
    return false;
}
