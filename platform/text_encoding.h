#pragma once
// Conversions between the system's wide text and narrow text in a named code page.
//
// Wide text is std::wstring throughout the installer; narrow text appears only at the
// edges (files, libcurl, child processes, thread names). Code pages are named the way
// the installer's callers name them: 0 is the system's active code page (the locale's
// charset; UTF-8 where the locale does not name one), 65001 is UTF-8, any other number N
// is the code page "CPN" (936 is GBK).
//
// Stateless and safe on any thread.

#include <optional>
#include <string>
#include <string_view>

namespace Platform {

inline constexpr unsigned kActiveCodePage = 0;
inline constexpr unsigned kUtf8CodePage = 65001;

enum class InvalidInput {
    Fail,     // the whole conversion fails (std::nullopt)
    Replace,  // each undecodable byte becomes U+FFFD, as the system decoder does by default
};

// Narrow to wide. nullopt when the code page is unknown, or when the input is not valid
// in it and `invalid` is Fail.
std::optional<std::wstring> MultiByteToWide(unsigned codePage, std::string_view bytes,
                                            InvalidInput invalid = InvalidInput::Fail);

// Wide to narrow. nullopt when the code page is unknown or a character has no
// representation in it.
std::optional<std::string> WideToMultiByte(unsigned codePage, std::wstring_view text);

// Shorthands for the two conversions the code needs most; invalid input is replaced.
std::wstring Utf8ToWide(std::string_view bytes);
std::string WideToUtf8(std::wstring_view text);

// Narrow text in the active code page (file names, thread names); invalid input replaced,
// unrepresentable characters dropped to '?'.
std::wstring ActiveToWide(std::string_view bytes);
std::string WideToActive(std::wstring_view text);

// Compares names the way the system's INI files and registry do: without regard to letter
// case (ASCII by rule, other letters through the C library's lower-case mapping).
bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b);

// The value of one hexadecimal digit (either letter case), or -1 when `c` is none.
int HexDigitValue(wchar_t c);

// The iconv name behind code page 0 on this machine, for diagnostics ("UTF-8", "GBK" ...).
std::string ActiveCodePageName();

}  // namespace Platform
