#pragma once
// The guard that lets only one installer for the product run in the user's session.
//
// The lock is named "D1A547DB89C0BC61_" followed by the guard's name; the entry uses
// "Installer_parlumo". Owned by the entry on its stack, used by the main thread only.

#include <string>

#include "platform/named_lock.h"

namespace Utils {

inline constexpr wchar_t kSingleInstancePrefix[] = L"D1A547DB89C0BC61_";
inline constexpr wchar_t kInstallerInstanceName[] = L"Installer_parlumo";

// Exit codes of the installer process.
inline constexpr int kExitWindowRan = 0;
inline constexpr int kExitSecondInstance = -1;
inline constexpr int kExitLayoutFailed = 1;

class SingleInstance {
public:
    explicit SingleInstance(std::wstring name) : name_(std::move(name)) {}

    // Takes the guard when no other process holds it; a second call while held does nothing.
    void Acquire();
    bool Held() const { return lock_.IsHeld(); }
    void Release() { lock_.Release(); }

    std::wstring MutexName() const { return kSingleInstancePrefix + name_; }

private:
    std::wstring name_;
    Platform::NamedLock lock_;
};

}  // namespace Utils
