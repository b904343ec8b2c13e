#pragma once
// Questions about the machine and the user: rights, the console user, disk space, random
// bytes, network connectivity, and private folders.
//
// Stateless and safe on any thread (the network monitor is the system's own shared object).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Platform {

// True when the process runs with the effective user id 0.
bool IsEffectiveRoot();

// True when the local account `userName` is root or a member (primary or supplementary)
// of one of the groups that grant administration: "sudo", "wheel" or "admin". False for
// an empty or unknown name.
bool IsAdministrationAccount(std::wstring_view userName);

// The user of the active session on the machine's first seat (logind's seat file
// /run/systemd/seats/seat0, "ACTIVE_UID="), or else the process's login name. nullopt
// when neither can be had.
std::optional<std::wstring> ActiveConsoleUserName();

// The uid named by "ACTIVE_UID=" in the text of a logind seat file; nullopt without one.
std::optional<std::uint32_t> ActiveUidFromSeatFile(std::string_view seatFileText);

// Byte counts of the file system that holds a path.
struct DiskSpace {
    std::uint64_t availableToUser = 0;
    std::uint64_t total = 0;
    std::uint64_t free = 0;
};

// The space of the file system of `path`; a path that does not exist yet is asked through
// its nearest existing ancestor folder. nullopt with errno in `errorCode` when it cannot
// be had (empty path, a file in the way, no access).
std::optional<DiskSpace> FreeSpace(std::wstring_view path, int* errorCode = nullptr);

// Fills `buffer` with random bytes from the kernel. False when none could be had.
bool RandomBytes(void* buffer, std::size_t size);

// What the system's network monitor knows about reaching the internet.
enum class Connectivity {
    Local,    // no route to the internet; see `networkAvailable`
    Limited,  // a network, but the internet cannot be reached
    Portal,   // a network behind a captive portal
    Full,     // the internet can be reached
};
struct NetworkState {
    Connectivity connectivity = Connectivity::Local;
    bool networkAvailable = false;  // some network (a default route) is configured
};

// Asks the system's network monitor (GIO); nullopt when no monitor can be had.
std::optional<NetworkState> QueryNetworkState();

// Makes sure `path` is a folder that only the current user can enter or change: creates
// it (one level, mode 0700) when missing; accepts an existing one only when it is a real
// folder (not a link) owned by the current user and closed to group and others. Guards a
// private folder under a temp folder that other users can write to.
bool EnsurePrivateFolder(std::wstring_view path);

}  // namespace Platform
