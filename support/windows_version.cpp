#include "support/windows_version.h"

#include <cstdio>

#include "platform/system_version.h"

namespace Utils {

std::wstring VersionNameFor(unsigned major, unsigned minor, unsigned build, bool isServerR2) {
    if (major < 5) return L"XP-";
    if (major == 5) {
        if (minor == 0) return L"2K";
        if (minor == 1) return L"XP";
        if (minor == 2) return isServerR2 ? L"Server 2003 R2" : L"Server 2003";
        return L"XP+";
    }
    if (major == 6) {
        static const wchar_t* const names[] = {L"Vista", L"7", L"8", L"8.1"};
        return minor < 4 ? names[minor] : L"8.1+";
    }
    if (major == 10) return minor == 0 ? L"10" : L"10+";
    return std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + std::to_wstring(build & 0xFFFF);
}

void GetWindowsVersionName(std::wstring& family, std::wstring& versionName) {
    family = L"Linux";
    // The kernel release ("6.1.0-18-amd64") gives the numbers of the dotted name. The
    // table above belongs to another system's numbering and is not applied to them.
    unsigned major = 0, minor = 0, patch = 0;
    const std::string release = Platform::KernelRelease();
    const int fields = std::sscanf(release.c_str(), "%u.%u.%u", &major, &minor, &patch);
    if (fields < 2) {
        versionName = L"XP-";  // the version cannot be read
        return;
    }
    versionName = std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + std::to_wstring(patch & 0xFFFF);
}

bool Is64BitWindows() {
    const std::string machine = Platform::MachineType();
    return machine.find("64") != std::string::npos;  // x86_64, aarch64, ppc64le, riscv64 ...
}

}  // namespace Utils
