#pragma once
// A lock held by at most one process of the user at a time, named like a Windows mutex in
// the logon session.
//
// The lock is an flock on "<name>.lock" in $XDG_RUNTIME_DIR (private to the user), or in
// the temp folder with the user id in the file name when there is no runtime folder. The
// kernel releases it when the process ends, however it ends.
//
// Owned by one thread; not copyable.

#include <string>

namespace Platform {

class NamedLock {
public:
    NamedLock() = default;
    ~NamedLock();  // Release()
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    // Takes the lock without waiting. False when another process holds it or the lock
    // file cannot be made. Taking a lock already held by this object succeeds at once.
    bool TryAcquire(const std::wstring& name);
    void Release();
    bool IsHeld() const { return descriptor_ >= 0; }

    // The file that stands for the named lock.
    static std::wstring LockFilePath(const std::wstring& name);

private:
    int descriptor_ = -1;
};

}  // namespace Platform
