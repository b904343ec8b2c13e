#pragma once
// Which system the installer runs on, in the terms the download route understands.
//
// Stateless; any thread.

#include <string>

namespace Utils {

// The family ("Linux" here) and the version name. The name comes from the version table
// for the numbers a Windows system reports; on this system it is the kernel release in
// dotted form ("6.1.0"), which never selects the XP route. "XP-" when the version cannot
// be read.
void GetWindowsVersionName(std::wstring& family, std::wstring& versionName);

// The version name for a system reporting (major, minor, build); `isServerR2` answers the
// 5.2 case. Pure; the table the route expansion relies on.
std::wstring VersionNameFor(unsigned major, unsigned minor, unsigned build, bool isServerR2);

// True when the system runs a 64-bit machine type (x86_64, aarch64 ...).
bool Is64BitWindows();

}  // namespace Utils
