#include "platform/system_version.h"

#include <sys/utsname.h>

namespace Platform {

std::string KernelRelease() {
    struct utsname names {};
    return uname(&names) == 0 ? std::string(names.release) : std::string();
}

std::string MachineType() {
    struct utsname names {};
    return uname(&names) == 0 ? std::string(names.machine) : std::string();
}

}  // namespace Platform
