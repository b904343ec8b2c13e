#pragma once
// Reading and writing INI files with the rules of the Windows profile API.
//
// Files are UTF-8 (a leading byte-order mark is skipped and kept; bytes that are not UTF-8
// read as U+FFFD, never rejected). Lines end with LF or CR LF. A line "[name]" opens a
// section (without "]" the rest of the line is the name); "key=value" is an entry of the
// section above it; lines starting with ";" and everything before the first section are
// not entries. Section and key names match without regard to letter case, and only the
// first section of a name and the first entry of a key in it count. Blanks around names
// and values are dropped, and a value enclosed in one pair of matching quotes (" or ')
// loses them. Results pass through a buffer of `bufferChars` characters like the Windows
// calls, so at most bufferChars - 1 characters are returned.
//
// Stateless; each call reads the file afresh. Writers replace the file atomically (a
// temporary file beside it, then a rename) and change only the line they set; two writers
// of one file at the same moment are not serialised (the later rename wins), so a file is
// written from one thread at a time.

#include <string>
#include <string_view>

namespace Platform {

inline constexpr std::size_t kDefaultIniBufferChars = 260;

// The value of `key` in `section`, or `defaultValue` (without trailing blanks) when the
// file, the section or the key is missing; either is cut to bufferChars - 1 characters
// (empty for a buffer of 0).
std::wstring ReadIniString(std::wstring_view path, std::wstring_view section,
                           std::wstring_view key, std::wstring_view defaultValue,
                           std::size_t bufferChars = kDefaultIniBufferChars);

// The same lookup over file content already in memory (the fuzz target's entry).
std::wstring ReadIniStringFromBytes(std::string_view fileBytes, std::wstring_view section,
                                    std::wstring_view key, std::wstring_view defaultValue,
                                    std::size_t bufferChars = kDefaultIniBufferChars);

// The value read as a decimal integer: leading blanks and a sign allowed, characters
// after the digits ignored. `defaultValue` when the key is missing or its value is empty;
// 0 when the value does not start with a number or does not fit a 32-bit signed integer.
int ReadIniInt(std::wstring_view path, std::wstring_view section, std::wstring_view key,
               int defaultValue);

// The same over file content already in memory, for callers that read several keys from
// one snapshot of the file.
int ReadIniIntFromBytes(std::string_view fileBytes, std::wstring_view section,
                        std::wstring_view key, int defaultValue);

// Sets `key` in `section`: the first entry of the key is rewritten in place (its
// indentation and spelling kept), a missing key is added after the section's last entry,
// a missing section is added at the end; every other byte of the file stays as it was.
// A value with blanks at either end or with matching quotes around it is written inside
// quotes so that it reads back unchanged. False, with the file untouched, when the file
// cannot be read or written, or when a name or the value cannot be stored on one line:
// a line break anywhere, an empty name, blanks around a name, "]" in the section name,
// "=" in the key, or a key starting with "[" or ";".
bool WriteIniString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                    std::wstring_view value);

}  // namespace Platform
