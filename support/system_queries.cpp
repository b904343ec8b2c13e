#include "support/system_queries.h"

#include <cwchar>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/thread_identity.h"
#include "support/debug_log.h"

namespace Utils {

unsigned long FindProcessByImageName(const std::wstring& imageName) {
    return Platform::FindProcessByImageName(imageName);
}

std::wstring GetInstallerTempDir() {
    std::wstring folder = Platform::TempFolder();
    if (folder.empty()) return {};
    if (folder.back() != Platform::kPathSeparator) folder += Platform::kPathSeparator;
    folder += kInstallerTempFolderName;
    folder += Platform::kPathSeparator;
    if (folder.size() > kMaxPathLength) return {};
    // The temp folder is shared with other users here: a folder of that name that someone
    // else made could hold a program in place of the copied uninstaller.
    if (!Platform::EnsurePrivateFolder(folder)) return {};
    return folder;
}

bool CreateDirectories(const std::wstring& path) {
    if (path.empty() || path.size() > kMaxPathLength + 1) return false;
    // A level that appears between the test and the creation (another thread creating the
    // same path) counts as created.
    auto ensureLevel = [](const std::wstring& level) {
        return Platform::PathExists(level) || Platform::CreateDirectory(level) || Platform::IsDirectory(level);
    };
    std::size_t separator = path.find(Platform::kPathSeparator);
    while (separator != std::wstring::npos) {
        if (!ensureLevel(path.substr(0, separator + 1))) return false;
        separator = path.find(Platform::kPathSeparator, separator + 1);
    }
    if (path.back() != Platform::kPathSeparator && !ensureLevel(path)) return false;
    return Platform::IsDirectory(path);
}

std::uint32_t ConnectivityResult(const std::optional<Platform::NetworkState>& state) {
    if (!state) return 0;
    std::uint32_t flags = 0;
    std::uint32_t status = 0;
    switch (state->connectivity) {
        case Platform::Connectivity::Full:
            flags = kConnectivityIpv4Internet;
            break;
        case Platform::Connectivity::Limited:
        case Platform::Connectivity::Portal:
            flags = kConnectivityIpv4LocalNetwork;
            status = kNetworkStatusNoInternet;
            break;
        case Platform::Connectivity::Local:
            // A configured network without a way out is still a subnet to talk to.
            flags = state->networkAvailable ? kConnectivityIpv4Subnet : 0;
            status = flags == 0 ? kNetworkStatusNoConnectivity : kNetworkStatusNoInternet;
            break;
    }
    return status << 16 | flags;
}

std::uint32_t CheckNetwork() {
    const std::optional<Platform::NetworkState> state = Platform::QueryNetworkState();
    const std::uint32_t result = ConnectivityResult(state);
    const std::uint32_t flags = result & 0xFFFF;
    const std::uint32_t status = result >> 16;
    if (state && status == kNetworkStatusNoConnectivity) {
        LOG(L"Utils::CheckNetwork", L"GetConnectivity %d", static_cast<int>(flags));
    } else if (state && status == kNetworkStatusNoInternet) {
        LOG(L"Utils::CheckNetwork", L"get_IsConnectedToInternet:%d", 0);
    }
    return result;
}

std::wstring NewGuidString() {
    unsigned char bytes[16] = {};
    if (!Platform::RandomBytes(bytes, sizeof bytes)) {
        // Without the kernel's random source the identifier is still made unique enough for
        // a usage record from the clock and the process.
        std::uint64_t seed = Platform::MonotonicMilliseconds() ^ (std::uint64_t{Platform::CurrentProcessId()} << 32);
        for (unsigned char& byte : bytes) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            byte = static_cast<unsigned char>(seed >> 56);
        }
    }
    const unsigned long data1 = static_cast<unsigned long>(bytes[0]) << 24 | static_cast<unsigned long>(bytes[1]) << 16 |
                                static_cast<unsigned long>(bytes[2]) << 8 | bytes[3];
    const unsigned data2 = static_cast<unsigned>(bytes[4]) << 8 | bytes[5];
    const unsigned data3 = ((static_cast<unsigned>(bytes[6]) << 8 | bytes[7]) & 0x0FFF) | 0x4000;  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);                                // RFC 4122 variant
    wchar_t text[50];
    std::swprintf(text, 50, L"%08lX%04X%04x%02X%02X%02X%02X%02X%02X%02X%02X", data1, data2, data3, bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return text;
}

bool IsRunningAsAdmin() { return Platform::IsEffectiveRoot(); }

bool IsAdminAccount(const std::wstring& userName) { return Platform::IsAdministrationAccount(userName); }

bool GetActiveConsoleUserName(std::wstring& userName) {
    const std::optional<std::wstring> name = Platform::ActiveConsoleUserName();
    if (!name) return false;
    userName = *name;
    return true;
}

bool HardDiskManager::CheckFreeSpace(const std::wstring& directory) {
    int error = 0;
    const std::optional<Platform::DiskSpace> space = Platform::FreeSpace(directory, &error);
    if (!space) {
        LOG(L"Utils::HardDiskManager::CheckFreeSpace", L"HardDiskManager::CheckFreeSpace FAIL code=%ld\r\n",
            static_cast<long>(error));
        return false;
    }
    freeBytesAvailable = space->availableToUser;
    totalBytes = space->total;
    totalFreeBytes = space->free;
    return true;
}

}  // namespace Utils
