#include "startup.h"

#include <windows.h>

void hardenProcess()
{
    // Also covers the DLLs that Qt and the system load later by name, such as MAPI32.DLL.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
