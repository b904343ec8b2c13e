#pragma once
// The diagnostic log: single lines on the debugger output channel.
//
// Every line is the prefix
//   "<P%05d><T%05d><%04d-%02d-%02d %02d:%02d:%02d.%03d>(%s)<%04d>: "
// (process id, thread id, local time with milliseconds, the logging function's qualified
// name, its source line) followed by the message, which carries its own line end.
// Formats are wide printf formats in which "%s" stands for a wide-text argument.
//
// Any thread may log at any time; a line is formatted into its own buffer and emitted
// whole, so lines never interleave.

#include <cstdarg>

namespace Utils {

// Formats the whole text and writes it to the debugger output in one call. A line that
// cannot be formatted or allocated is dropped silently.
void DebugLog(const wchar_t* format, ...);
void DebugLogV(const wchar_t* format, va_list arguments);

// The logging convention in one call: reads the local time first, builds the prefix
// format followed by `format`, and hands everything to DebugLog.
void LogLine(const wchar_t* function, int line, const wchar_t* format, ...);

}  // namespace Utils

// Logs from the calling site: LOG(L"CurlClient::Start", L"error:%d:%s\r\n", code, text);
// The function name is written out at each site as its qualified name.
#define LOG(function, ...) ::Utils::LogLine(function, __LINE__, __VA_ARGS__)
