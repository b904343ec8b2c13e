#pragma once
// Identities of the running process and thread, and thread names for debuggers.

#include <cstdint>
#include <string_view>

namespace Platform {

std::uint32_t CurrentProcessId();
std::uint32_t CurrentThreadId();  // the kernel's thread id, as debuggers and `ps -L` show it

// Names the calling thread. The system keeps at most 15 bytes; longer names are cut at a
// character boundary.
void SetCurrentThreadName(std::string_view utf8Name);

// The calling thread's name as the system holds it.
std::string CurrentThreadName();

}  // namespace Platform
