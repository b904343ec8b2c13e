#pragma once
// What the kernel says about the system it runs.

#include <string>

namespace Platform {

// The kernel release ("6.1.0-18-amd64") and machine type ("x86_64"); empty when unknown.
std::string KernelRelease();
std::string MachineType();

}  // namespace Platform
