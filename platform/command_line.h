#pragma once
// Command lines as single strings, the way Windows programs receive and pass them.
//
// Stateless and safe on any thread.

#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Splits a command line with the CommandLineToArgvW rules.
//
// The first argument (the program) has no escapes: when it starts with a quote it runs to
// the next quote (or the end), else to the next blank; text right after its closing quote
// starts the second argument. Blanks are spaces and tabs; a line that starts with a blank
// gives an empty first argument.
//
// In the other arguments, 2n backslashes before a quote give n backslashes and the quote
// opens or closes quoting; 2n+1 give n backslashes and a literal quote; backslashes not
// before a quote are literal. Inside quotes, two quotes in a row give one literal quote
// and end the quoted part; outside quotes, three quotes in a row give one literal quote.
// An argument of only quotes ("") is an empty argument. A quote left open runs to the end.
//
// An empty line gives the one argument `programPath`.
std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine,
                                           std::wstring_view programPath = L"");

// Quotes one argument so that SplitCommandLine gives it back unchanged (not for the first
// argument, which has no escapes). Arguments without blanks or quotes stay as they are; an
// empty argument becomes "".
std::wstring QuoteArgument(std::wstring_view argument);

// This process's arguments, argv[0] included, decoded from the active code page; empty
// when they cannot be read.
std::vector<std::wstring> ProcessArguments();

}  // namespace Platform
