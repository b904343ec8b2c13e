#include "platform/command_line.h"

#include "platform/paths.h"
#include "platform/text_encoding.h"

namespace Platform {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<std::wstring> SplitCommandLine(std::wstring_view commandLine, std::wstring_view programPath) {
    if (commandLine.empty()) return {std::wstring(programPath)};

    std::vector<std::wstring> arguments;
    std::size_t at = 0;
    const std::size_t size = commandLine.size();

    // The program: no escapes, and a quote only delimits it.
    std::wstring program;
    if (commandLine[0] == L'"') {
        for (at = 1; at < size && commandLine[at] != L'"'; ++at) program += commandLine[at];
        if (at < size) ++at;  // the closing quote
    } else {
        for (; at < size && !IsBlank(commandLine[at]); ++at) program += commandLine[at];
    }
    arguments.push_back(std::move(program));

    while (true) {
        while (at < size && IsBlank(commandLine[at])) ++at;
        if (at >= size) break;

        std::wstring argument;
        // quotes: 0 outside quotes, 1 inside; while a run of quotes is read it counts on,
        // and a third quote in the run stands for a literal quote.
        int quotes = 0;
        std::size_t backslashes = 0;
        while (at < size) {
            const wchar_t c = commandLine[at];
            if (IsBlank(c) && quotes == 0) break;
            if (c == L'\\') {
                argument += c;
                ++backslashes;
                ++at;
                continue;
            }
            if (c != L'"') {
                argument += c;
                backslashes = 0;
                ++at;
                continue;
            }
            // A quote: the backslashes before it are halved.
            argument.resize(argument.size() - backslashes / 2);
            if (backslashes % 2 == 1) {
                argument.back() = L'"';  // the last backslash escaped it
            } else {
                ++quotes;
            }
            backslashes = 0;
            ++at;
            for (; at < size && commandLine[at] == L'"'; ++at) {
                if (++quotes == 3) {
                    argument += L'"';
                    quotes = 0;
                }
            }
            if (quotes == 2) quotes = 0;
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::wstring QuoteArgument(std::wstring_view argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring_view::npos)
        return std::wstring(argument);
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            // Backslashes before a quote are doubled, and one more escapes the quote.
            quoted.append(backslashes * 2 + 1, L'\\');
            quoted += L'"';
        } else {
            quoted.append(backslashes, L'\\');
            quoted += c;
        }
        backslashes = 0;
    }
    // Backslashes before the closing quote are doubled so that it stays a closing quote.
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

std::vector<std::wstring> ProcessArguments() {
    const std::optional<std::string> bytes = ReadFileBytes(L"/proc/self/cmdline");
    std::vector<std::wstring> arguments;
    if (!bytes) return arguments;
    std::size_t at = 0;
    while (at < bytes->size()) {
        std::size_t end = bytes->find('\0', at);
        if (end == std::string::npos) end = bytes->size();
        arguments.push_back(ActiveToWide(std::string_view(*bytes).substr(at, end - at)));
        at = end + 1;
    }
    return arguments;
}

}  // namespace Platform
