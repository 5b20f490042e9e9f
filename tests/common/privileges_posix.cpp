#include "privileges.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Sets the effective capabilities to the permitted ones, or to none.
bool setEffectiveCapabilities(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective = on ? data[0].permitted : 0;
    data[1].effective = on ? data[1].permitted : 0;
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

// As root, file modes do not stop writes; without the effective capabilities root is held to
// the modes like an ordinary user.
void dropFileOverrides()
{
    if (geteuid() == 0)
        setEffectiveCapabilities(false);
}

bool restoreOverrides()
{
    return setEffectiveCapabilities(true);
}
