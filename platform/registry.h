#pragma once
// The per-user registry store: string values under key paths, as the installer keeps them
// under HKEY_CURRENT_USER on Windows.
//
// One file per user, "$XDG_CONFIG_HOME/parlumo/registry.ini" (XDG_CONFIG_HOME defaults to
// ~/.config): one section per key path ("Software\VarenSoft\parlumo"), one entry per value
// name. Key paths and value names match without regard to letter case. Values may hold
// any character; line ends and backslashes are escaped in the file. A value whose text
// ends without a line end is read whole. Every write replaces the file atomically under
// an advisory lock, so two processes never lose each other's values.

#include <optional>
#include <string>
#include <string_view>

namespace Platform {

// The file behind the store (for diagnostics and tests).
std::wstring RegistryStorePath();

// The value, or nullopt when the key or the value is missing or the store is unreadable.
std::optional<std::wstring> ReadRegistryValue(std::wstring_view keyPath, std::wstring_view valueName);

// Creates the key when needed and sets the value. False when the store cannot be written.
bool WriteRegistryValue(std::wstring_view keyPath, std::wstring_view valueName, std::wstring_view value);

// Removes one value; true when it is gone afterwards (also when it never existed).
bool DeleteRegistryValue(std::wstring_view keyPath, std::wstring_view valueName);

}  // namespace Platform
