#pragma once
// Command lines as single strings, the way Windows programs receive and pass them.
//
// Stateless and safe on any thread.

#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Splits a command line with the CommandLineToArgvW rules: the first argument (the
// program) runs to the next quote when it starts with one, else to the next blank, with no
// escapes; in the other arguments 2n backslashes before a quote give n backslashes and
// toggle quoting, 2n+1 give n backslashes and a literal quote, other backslashes are
// literal, and a doubled quote inside quotes gives a literal quote. An empty or blank line
// gives the one argument `programPath`.
std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine,
                                           std::wstring_view programPath = L"");

// Quotes one argument so that SplitCommandLine gives it back unchanged (not used for the
// first argument, which has no escapes).
std::wstring QuoteArgument(std::wstring_view argument);

// This process's arguments, argv[0] included, decoded from the active code page.
std::vector<std::wstring> ProcessArguments();

}  // namespace Platform
