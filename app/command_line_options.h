#pragma once
// The installer's command line as an option map, and the readers that turn its values
// into settings.
//
// An argument "-key=value" gives the key "-key" and the value after the first "="
// (further "=" stay in the value); any other argument is its own key with an empty value.
// Keys compare exactly (case-sensitive, the "-" included), and the first occurrence of a
// key wins. The program's own path is an argument like the others.
//
// Stateless and safe on any thread.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace Utils {

// Key -> value, ordered by the keys' ordinal order. Lives only while a command line is
// being applied.
using CommandLineOptions = std::map<std::wstring, std::wstring, std::less<>>;

// Splits a whole command line with the CommandLineToArgvW rules and maps its arguments.
CommandLineOptions ParseCommandLine(const std::wstring& commandLine);

// Maps arguments that are already split (a Linux process receives them that way).
CommandLineOptions ParseArguments(const std::vector<std::wstring>& arguments);

// The value, or empty text when the key is absent.
std::wstring GetOptionText(const CommandLineOptions& options, std::wstring_view key);

// The value as a decimal integer (leading blanks skipped, an optional sign, characters
// after the number ignored). 0 when the key is absent, when the value does not start with
// a number, and when the number does not fit a 32-bit signed integer.
int GetOptionInt(const CommandLineOptions& options, std::wstring_view key);

// The value as a decimal number (leading blanks skipped, characters after the number
// ignored; no hexadecimal, "inf" or "nan"). `fallback` when the key is absent, when the
// value does not start with a number, and when its magnitude is too large for a double.
double GetOptionDouble(const CommandLineOptions& options, std::wstring_view key, double fallback);

// True exactly when the key is present and its value is "true" (case-sensitive).
bool GetOptionBool(const CommandLineOptions& options, std::wstring_view key);

}  // namespace Utils
