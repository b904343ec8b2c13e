#include "platform/thread_identity.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

namespace Platform {

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(getpid()); }

std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(syscall(SYS_gettid)); }

void SetCurrentThreadName(std::string_view utf8Name) {
    constexpr std::size_t kLimit = 15;  // the kernel keeps 16 bytes with the terminator
    std::size_t length = utf8Name.size();
    if (length > kLimit) {
        length = kLimit;
        // Never cut inside a multi-byte character.
        while (length > 0 && (static_cast<unsigned char>(utf8Name[length]) & 0xC0) == 0x80) --length;
    }
    const std::string name(utf8Name.substr(0, length));
    pthread_setname_np(pthread_self(), name.c_str());
}

std::string CurrentThreadName() {
    char name[32] = {};
    if (pthread_getname_np(pthread_self(), name, sizeof(name)) != 0) return {};
    return name;
}

}  // namespace Platform
