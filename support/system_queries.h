#pragma once
// Small, independent questions about the machine the installer runs on: whether a program
// runs, the installer's private temporary folder, creation of a folder path, internet
// connectivity, a fresh identifier, administrator rights, the console user and free disk
// space.
//
// They keep no state between calls and take no locks: any thread may call them. Failures
// come back as plain results (0, empty text, false) and are never thrown.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/system_info.h"

namespace Utils {

// The name of the installer's private folder inside the user's temporary folder.
inline constexpr wchar_t kInstallerTempFolderName[] = L"~VarenTemp.92482B06FB471E17";

// Paths pass through buffers of 260 characters: at most 259 are kept.
inline constexpr std::size_t kMaxPathLength = 259;

// The id of the first running process whose image file name (without folder) equals
// `imageName` exactly, letter case included; 0 when there is none.
unsigned long FindProcessByImageName(const std::wstring& imageName);

// The temporary folder followed by "~VarenTemp.92482B06FB471E17/", created when missing
// (only that last level, private to the user). Empty text when it cannot be had: the path
// would be longer than 259 characters, or it cannot be created, or something other than
// the user's own folder is in its place.
std::wstring GetInstallerTempDir();

// Creates every missing folder along `path` ("/" separates levels; a trailing separator is
// fine). True when the whole path exists as a folder at the end; false for an empty path,
// a path longer than 260 characters (nothing is created then), or a level that cannot be
// created.
bool CreateDirectories(const std::wstring& path);

// Connectivity result: bits 0 to 15 are the connectivity flags of the network list manager
// (0 = disconnected), bits 16 to 31 the status: 0 = connected to the internet or the probe
// could not run, 1 = no connectivity at all, 2 = some connectivity but no internet.
inline constexpr std::uint32_t kConnectivityIpv4Subnet = 0x10;
inline constexpr std::uint32_t kConnectivityIpv4LocalNetwork = 0x20;
inline constexpr std::uint32_t kConnectivityIpv4Internet = 0x40;
inline constexpr std::uint32_t kNetworkStatusNoConnectivity = 1;
inline constexpr std::uint32_t kNetworkStatusNoInternet = 2;

// The result for what the system's network monitor reports; 0 when it had no monitor.
std::uint32_t ConnectivityResult(const std::optional<Platform::NetworkState>& state);

// Asks the system's network monitor; 0 when none can be had (callers read 0 as connected).
std::uint32_t CheckNetwork();

// A new random identifier as 32 hexadecimal digits without braces or dashes: upper case
// except the third group of four (characters 13 to 16), which is lower case and starts
// with the version digit 4.
std::wstring NewGuidString();

// True when the installer runs with administrator rights (as root).
bool IsRunningAsAdmin();

// True when the local account `userName` may administer the machine (root, or a member
// of "sudo", "wheel" or "admin"); false for an unknown or empty name.
bool IsAdminAccount(const std::wstring& userName);

// The user of the machine's active console session. False, leaving `userName` untouched,
// when it cannot be found.
bool GetActiveConsoleUserName(std::wstring& userName);

// The free space of the disk that holds a folder. The caller creates it with the counts
// zero; a successful CheckFreeSpace overwrites them.
class HardDiskManager {
public:
    virtual ~HardDiskManager() = default;

    // Fills the three counts for the file system of `directory`; a folder that does not
    // exist yet is asked through its nearest existing ancestor. False on a failure, which
    // is logged with the system's error code; the counts are left as they were.
    bool CheckFreeSpace(const std::wstring& directory);

    std::uint64_t freeBytesAvailable = 0;  // free bytes the calling user may use
    std::uint64_t totalBytes = 0;          // size of the disk
    std::uint64_t totalFreeBytes = 0;      // free bytes of the disk, reserved ones included
};

}  // namespace Utils
