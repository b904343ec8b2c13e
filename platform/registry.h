#pragma once
// The per-user registry store: string values under key paths, as the installer keeps them
// under HKEY_CURRENT_USER on Windows.
//
// One file per user, "$XDG_CONFIG_HOME/parlumo/registry.ini" (XDG_CONFIG_HOME defaults to
// ~/.config), UTF-8: one section per key path ("[Software\\VarenSoft\\parlumo]"), one
// "name=value" line per value. Key paths and value names match without regard to letter
// case; the first section of a key path and the first line of a name count. Names and
// values may hold any character: backslashes, line ends, tabs and other control characters
// are escaped ("\\", "\n", "\r", "\t", "\xHH"), and in names also "=", "[", "]" and ";"
// ("\=" ...), so nothing is trimmed or lost. The last line is read whole when the file
// ends without a line end; lines the store does not understand are kept as they are.
//
// Every change is a read-modify-write under an advisory lock on "registry.ini.lock" beside
// the file, ending in an atomic replacement of the file, so two processes (or threads)
// never lose each other's values and readers never see half a file. Safe on any thread.

#include <optional>
#include <string>
#include <string_view>

namespace Platform {

// The file behind the store (for diagnostics and tests).
std::wstring RegistryStorePath();

// The value, or nullopt when the key or the value is missing or the store is unreadable.
std::optional<std::wstring> ReadRegistryValue(std::wstring_view keyPath, std::wstring_view valueName);

// Creates the key when needed and sets the value. False when the store cannot be written
// (the store is then unchanged).
bool WriteRegistryValue(std::wstring_view keyPath, std::wstring_view valueName, std::wstring_view value);

// Removes one value; true when it is gone afterwards (also when it never existed). The key
// itself stays, as an empty key does on Windows.
bool DeleteRegistryValue(std::wstring_view keyPath, std::wstring_view valueName);

}  // namespace Platform
