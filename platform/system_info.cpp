#include "platform/system_info.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <grp.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text_encoding.h"

namespace Platform {
namespace {

constexpr const char* kSeatFile = "/run/systemd/seats/seat0";
constexpr std::array<const char*, 3> kAdministrationGroups = {"sudo", "wheel", "admin"};

std::optional<std::string> ReadSmallFile(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0 || text.size() > 65536) break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(fd);
    return text;
}

std::optional<std::string> UserNameOf(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* result = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result) != 0 || !result) return std::nullopt;
    return std::string(result->pw_name);
}

std::string ParentOf(const std::string& path) {
    std::string parent = path;
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    const std::size_t slash = parent.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    parent.resize(slash);
    return parent;
}

}  // namespace

bool IsEffectiveRoot() { return ::geteuid() == 0; }

bool IsAdministrationAccount(std::wstring_view userName) {
    if (userName.empty()) return false;
    const std::string name = WideToActive(userName);
    std::vector<char> buffer(16384);
    passwd entry {};
    passwd* account = nullptr;
    if (::getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &account) != 0 || !account) {
        return false;
    }
    if (account->pw_uid == 0) return true;
    std::vector<gid_t> groups(64);
    int count = static_cast<int>(groups.size());
    while (::getgrouplist(name.c_str(), account->pw_gid, groups.data(), &count) < 0) {
        if (count <= static_cast<int>(groups.size())) return false;
        groups.resize(static_cast<std::size_t>(count));
    }
    groups.resize(static_cast<std::size_t>(count));
    for (const char* groupName : kAdministrationGroups) {
        std::vector<char> groupBuffer(16384);
        group groupEntry {};
        group* found = nullptr;
        if (::getgrnam_r(groupName, &groupEntry, groupBuffer.data(), groupBuffer.size(), &found) != 0 || !found) {
            continue;
        }
        for (gid_t member : groups) {
            if (member == found->gr_gid) return true;
        }
    }
    return false;
}

std::optional<std::uint32_t> ActiveUidFromSeatFile(std::string_view text) {
    static constexpr std::string_view kKey = "ACTIVE_UID=";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        if (line.starts_with(kKey)) {
            const std::string_view digits = line.substr(kKey.size());
            if (digits.empty() || digits.size() > 10) return std::nullopt;
            std::uint64_t value = 0;
            for (char digit : digits) {
                if (digit < '0' || digit > '9') return std::nullopt;
                value = value * 10 + static_cast<std::uint64_t>(digit - '0');
            }
            if (value > 0xFFFFFFFEu) return std::nullopt;  // (uid_t)-1 names no user
            return static_cast<std::uint32_t>(value);
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<std::wstring> ActiveConsoleUserName() {
    if (const auto seat = ReadSmallFile(kSeatFile)) {
        if (const auto uid = ActiveUidFromSeatFile(*seat)) {
            if (const auto name = UserNameOf(static_cast<uid_t>(*uid))) return ActiveToWide(*name);
        }
    }
    char login[256];
    if (::getlogin_r(login, sizeof login) == 0 && login[0] != '\0') return ActiveToWide(login);
    return std::nullopt;
}

std::optional<DiskSpace> FreeSpace(std::wstring_view path, int* errorCode) {
    if (path.empty()) {
        if (errorCode) *errorCode = ENOENT;
        return std::nullopt;
    }
    std::string current = WideToActive(path);
    // Only a missing path is asked through its parent; anything else (a file in the way,
    // no access) is the answer.
    for (;;) {
        struct statvfs info {};
        if (::statvfs(current.c_str(), &info) == 0) {
            DiskSpace space;
            space.availableToUser = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
            space.total = static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize;
            space.free = static_cast<std::uint64_t>(info.f_bfree) * info.f_frsize;
            return space;
        }
        const int error = errno;
        const std::string parent = ParentOf(current);
        if (error != ENOENT || parent == current) {
            if (errorCode) *errorCode = error;
            return std::nullopt;
        }
        current = parent;
    }
}

bool RandomBytes(void* buffer, std::size_t size) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ssize_t count = ::getrandom(bytes, size, 0);
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

std::optional<NetworkState> QueryNetworkState() {
    GNetworkMonitor* monitor = g_network_monitor_get_default();  // shared, owned by GIO
    if (!monitor) return std::nullopt;
    NetworkState state;
    switch (g_network_monitor_get_connectivity(monitor)) {
        case G_NETWORK_CONNECTIVITY_FULL: state.connectivity = Connectivity::Full; break;
        case G_NETWORK_CONNECTIVITY_LIMITED: state.connectivity = Connectivity::Limited; break;
        case G_NETWORK_CONNECTIVITY_PORTAL: state.connectivity = Connectivity::Portal; break;
        case G_NETWORK_CONNECTIVITY_LOCAL:
        default: state.connectivity = Connectivity::Local; break;
    }
    state.networkAvailable = g_network_monitor_get_network_available(monitor) != FALSE;
    return state;
}

bool EnsurePrivateFolder(std::wstring_view path) {
    if (path.empty()) return false;
    std::string narrow = WideToActive(path);
    while (narrow.size() > 1 && narrow.back() == '/') narrow.pop_back();
    if (::mkdir(narrow.c_str(), 0700) == 0) return true;
    if (errno != EEXIST) return false;
    // Someone made it before us: a previous run of ours, or another user preparing a trap
    // (a link, or a folder they can still write into) in a shared temp folder.
    const int fd = ::open(narrow.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
    if (ok && (info.st_mode & 0077) != 0) ok = ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return ok;
}

}  // namespace Platform
