#pragma once
// Reading and writing INI files with the rules of the Windows profile API.
//
// Files are UTF-8 (a leading byte-order mark is skipped; bytes that are not UTF-8 are
// replaced, never rejected). Section and key names match without regard to letter case,
// the first section and the first key of a name win, blanks around names and values are
// dropped, and a value enclosed in one pair of matching quotes loses them. Results pass
// through a buffer of `bufferChars` characters like the Windows calls, so at most
// bufferChars - 1 characters are returned.
//
// Stateless; each call reads the file afresh. Writers replace the file atomically.

#include <string>
#include <string_view>

namespace Platform {

inline constexpr std::size_t kDefaultIniBufferChars = 260;

// The value of `key` in `section`, or `defaultValue` when the file, the section or the
// key is missing; either is cut to bufferChars - 1 characters (empty for a buffer of 0).
std::wstring ReadIniString(std::wstring_view path, std::wstring_view section,
                           std::wstring_view key, std::wstring_view defaultValue,
                           std::size_t bufferChars = kDefaultIniBufferChars);

// The value read as a decimal integer: leading blanks and a sign allowed, characters
// after the digits ignored. `defaultValue` when the key is missing; 0 when the value does
// not start with a number or does not fit a 32-bit signed integer.
int ReadIniInt(std::wstring_view path, std::wstring_view section, std::wstring_view key,
               int defaultValue);

// Sets `key` in `section`, adding the section or the key at its end when missing; the
// rest of the file is kept line by line. False when the file cannot be written.
bool WriteIniString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                    std::wstring_view value);

}  // namespace Platform
