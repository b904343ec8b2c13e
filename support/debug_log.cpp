#include "support/debug_log.h"

#include <cwchar>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/thread_identity.h"

namespace Utils {
namespace {

// The log's formats follow the Windows wide printf: "%s" and "%c" take wide arguments and
// "%S" a narrow one. The C library reads them the other way round, so each conversion is
// rewritten before formatting; the text of the line does not change.
std::wstring ToLibraryFormat(const wchar_t* format) {
    std::wstring out;
    for (const wchar_t* p = format; *p;) {
        if (*p != L'%') {
            out.push_back(*p++);
            continue;
        }
        out.push_back(*p++);
        if (*p == L'%') {
            out.push_back(*p++);
            continue;
        }
        while (*p && std::wcschr(L"-+ #0123456789.*", *p)) out.push_back(*p++);
        bool hasLength = false;
        while (*p && std::wcschr(L"hlLqjzt", *p)) {
            hasLength = true;
            out.push_back(*p++);
        }
        if (!*p) break;
        if (!hasLength && (*p == L's' || *p == L'c')) {
            out.push_back(L'l');
            out.push_back(*p++);
        } else if (!hasLength && (*p == L'S' || *p == L'C')) {
            out.push_back(static_cast<wchar_t>(*p++ - L'S' + L's'));
        } else {
            out.push_back(*p++);
        }
    }
    return out;
}

// Lines longer than this are dropped like lines that cannot be allocated.
constexpr std::size_t kLongestLine = 1u << 20;

}  // namespace

void DebugLogV(const wchar_t* format, va_list arguments) {
    if (!format) return;
    const std::wstring libraryFormat = ToLibraryFormat(format);
    // The C library has no count-only wide formatting; grow the buffer until the line fits.
    std::vector<wchar_t> buffer(512);
    for (;;) {
        va_list attempt;
        va_copy(attempt, arguments);
        const int written = std::vswprintf(buffer.data(), buffer.size(), libraryFormat.c_str(), attempt);
        va_end(attempt);
        if (written >= 0 && static_cast<std::size_t>(written) < buffer.size()) {
            Platform::WriteDebugOutput(std::wstring_view(buffer.data(), static_cast<std::size_t>(written)));
            return;
        }
        if (buffer.size() >= kLongestLine) return;
        buffer.resize(buffer.size() * 4);
    }
}

void DebugLog(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    DebugLogV(format, arguments);
    va_end(arguments);
}

void LogLine(const wchar_t* function, int line, const wchar_t* format, ...) {
    const Platform::LocalTime now = Platform::GetLocalTime();
    const std::wstring prefix = [&] {
        // The prefix's own arguments are formatted first, then the message's, so that one
        // va_list never has to carry both.
        std::vector<wchar_t> text(160 + (function ? std::wcslen(function) : 0));
        std::swprintf(text.data(), text.size(), L"<P%05u><T%05u><%04d-%02d-%02d %02d:%02d:%02d.%03d>(%ls)<%04d>: ",
                      Platform::CurrentProcessId(), Platform::CurrentThreadId(), now.year, now.month, now.day,
                      now.hour, now.minute, now.second, now.milliseconds, function ? function : L"", line);
        return std::wstring(text.data());
    }();
    // Percent signs in the prefix (a function name never has any) would be read as
    // conversions; double them before the message format is appended.
    std::wstring escaped;
    for (wchar_t c : prefix) {
        escaped.push_back(c);
        if (c == L'%') escaped.push_back(L'%');
    }
    escaped += format ? format : L"";
    va_list arguments;
    va_start(arguments, format);
    DebugLogV(escaped.c_str(), arguments);
    va_end(arguments);
}

}  // namespace Utils
