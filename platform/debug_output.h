#pragma once
// The debugger output channel: where diagnostic lines go.
//
// Each line is written whole with one write(2) to standard error, or, when the
// environment variable PARLUMO_LOG names a file, appended to that file. Lines from
// different threads never interleave.

#include <string_view>

namespace Platform {

// Writes the text as UTF-8, unchanged otherwise (the caller supplies the line end).
void WriteDebugOutput(std::wstring_view text);

}  // namespace Platform
