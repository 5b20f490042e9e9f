#include "privileges.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// As root, file modes do not stop writes; without the effective capabilities root is held to
// the modes like an ordinary user.
void dropFileOverrides()
{
    if (geteuid() != 0)
        return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return;
    data[0].effective = 0;
    data[1].effective = 0;
    syscall(SYS_capset, &header, data);
}
