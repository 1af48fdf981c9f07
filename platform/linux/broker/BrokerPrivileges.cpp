#include "platform/linux/broker/BrokerPrivileges.h"

#include <linux/capability.h>
#include <linux/securebits.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

bool BrokerPrivileges::confine() {
    return chdir("/") == 0 && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

bool BrokerPrivileges::dropCapabilities() {
    // While CAP_SETPCAP is still held: root gains nothing at exec or from its uid, ever.
    bool complete = prctl(PR_SET_SECUREBITS,
                          SECBIT_NOROOT | SECBIT_NOROOT_LOCKED | SECBIT_NO_SETUID_FIXUP |
                              SECBIT_NO_SETUID_FIXUP_LOCKED | SECBIT_KEEP_CAPS_LOCKED,
                          0, 0, 0) == 0;
    for (int capability = 0; prctl(PR_CAPBSET_READ, capability, 0, 0, 0) >= 0; ++capability)
        complete = prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) == 0 && complete;
    complete = prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) == 0 && complete;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    return syscall(SYS_capset, &header, none) == 0 && complete;
}
