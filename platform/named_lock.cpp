#include "platform/named_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/paths.h"
#include "platform/text_encoding.h"

namespace Platform {

std::wstring NamedLock::LockFilePath(const std::wstring& name) {
    // Names come from the program itself, but a separator in one must not reach into
    // another folder.
    std::wstring safe = name;
    for (wchar_t& c : safe)
        if (c == L'/') c = L'_';
    if (auto runtime = GetEnvironmentVariable(L"XDG_RUNTIME_DIR"); runtime && IsDirectory(*runtime))
        return JoinPath(*runtime, safe + L".lock");
    return TempFolder() + safe + L"." + std::to_wstring(getuid()) + L".lock";
}

bool NamedLock::TryAcquire(const std::wstring& name) {
    if (descriptor_ >= 0) return true;
    const std::string path = WideToActive(LockFilePath(name));
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    descriptor_ = fd;
    return true;
}

void NamedLock::Release() {
    if (descriptor_ < 0) return;
    flock(descriptor_, LOCK_UN);
    close(descriptor_);
    descriptor_ = -1;
}

NamedLock::~NamedLock() { Release(); }

}  // namespace Platform
