#include "platform/ini_file.h"

#include <optional>
#include <vector>

#include "platform/decimal_number.h"
#include "platform/paths.h"
#include "platform/text_encoding.h"

namespace Platform {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\v' || c == L'\f'; }

std::wstring_view Trim(std::wstring_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// One line of the file: [begin, contentEnd) is its text without the line end,
// [begin, end) includes the line end ("\n" or "\r\n") when there is one.
struct LineSpan {
    std::size_t begin = 0;
    std::size_t contentEnd = 0;
    std::size_t end = 0;
};

std::vector<LineSpan> SplitLines(std::string_view bytes, std::size_t start) {
    std::vector<LineSpan> lines;
    std::size_t at = start;
    while (at < bytes.size()) {
        const std::size_t newline = bytes.find('\n', at);
        LineSpan line;
        line.begin = at;
        if (newline == std::string_view::npos) {
            line.contentEnd = line.end = bytes.size();
        } else {
            line.end = newline + 1;
            line.contentEnd = (newline > at && bytes[newline - 1] == '\r') ? newline - 1 : newline;
        }
        lines.push_back(line);
        at = line.end;
    }
    return lines;
}

std::size_t ContentStart(std::string_view bytes) {
    return bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
}

enum class LineKind { Other, Section, Entry };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::wstring name;   // section name or key, trimmed
    std::wstring value;  // entry value, trimmed, quotes still on
};

// Reads one line's meaning. Only the name is decoded unless `wantValue` is set, so that
// scanning a large file does not decode values nobody asked for.
ParsedLine ParseLine(std::string_view line, bool wantValue) {
    std::size_t first = 0;
    while (first < line.size() && (line[first] == ' ' || line[first] == '\t')) ++first;
    line.remove_prefix(first);
    ParsedLine parsed;
    if (line.empty() || line[0] == ';') return parsed;
    if (line[0] == '[') {
        const std::size_t close = line.find(']');
        parsed.kind = LineKind::Section;
        parsed.name = std::wstring(Trim(Utf8ToWide(line.substr(1, close == std::string_view::npos
                                                                       ? std::string_view::npos
                                                                       : close - 1))));
        return parsed;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return parsed;
    parsed.kind = LineKind::Entry;
    parsed.name = std::wstring(Trim(Utf8ToWide(line.substr(0, equals))));
    if (wantValue) parsed.value = std::wstring(Trim(Utf8ToWide(line.substr(equals + 1))));
    return parsed;
}

std::wstring_view StripMatchingQuotes(std::wstring_view value) {
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == L'"' || value.front() == L'\''))
        return value.substr(1, value.size() - 2);
    return value;
}

std::wstring CutToBuffer(std::wstring_view text, std::size_t bufferChars) {
    if (bufferChars == 0) return {};
    return std::wstring(text.substr(0, bufferChars - 1));
}

// Where a key sits in the file: the line index of the first section of the name (if
// any), of the key's first entry in it (if any), and of the last entry line of the section.
struct Location {
    std::optional<std::size_t> sectionLine;
    std::optional<std::size_t> entryLine;
    std::size_t lastSectionLine = 0;  // last line of the section that is not blank or a comment
    std::wstring value;               // the entry's raw value when found
};

Location Locate(std::string_view bytes, const std::vector<LineSpan>& lines,
                std::wstring_view section, std::wstring_view key) {
    Location location;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const LineSpan& span = lines[index];
        const std::string_view text = bytes.substr(span.begin, span.contentEnd - span.begin);
        if (!location.sectionLine) {
            // Outside the wanted section only section headers matter.
            const std::size_t first = text.find_first_not_of(" \t");
            if (first == std::string_view::npos || text[first] != '[') continue;
            const ParsedLine parsed = ParseLine(text, false);
            if (EqualsIgnoringCase(parsed.name, section)) location.sectionLine = location.lastSectionLine = index;
            continue;
        }
        const ParsedLine parsed = ParseLine(text, false);
        if (parsed.kind == LineKind::Section) break;  // the first section of the name ended
        if (parsed.kind != LineKind::Entry) continue;
        location.lastSectionLine = index;
        if (EqualsIgnoringCase(parsed.name, key)) {
            location.entryLine = index;
            location.value = ParseLine(text, true).value;
            break;
        }
    }
    return location;
}

bool HasLineBreak(std::wstring_view text) { return text.find_first_of(L"\r\n") != std::wstring_view::npos; }

bool IsStorableName(std::wstring_view name) {
    return !name.empty() && Trim(name).size() == name.size() && !HasLineBreak(name);
}

// The value as it has to stand in the file to read back unchanged.
std::wstring EncodeValue(std::wstring_view value) {
    const bool blankEdge = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
    const bool quoted = StripMatchingQuotes(value).size() != value.size();
    if (blankEdge || quoted) return L"\"" + std::wstring(value) + L"\"";
    return std::wstring(value);
}

}  // namespace

std::wstring ReadIniStringFromBytes(std::string_view fileBytes, std::wstring_view section,
                                    std::wstring_view key, std::wstring_view defaultValue,
                                    std::size_t bufferChars) {
    const std::vector<LineSpan> lines = SplitLines(fileBytes, ContentStart(fileBytes));
    const Location location = Locate(fileBytes, lines, section, key);
    if (location.entryLine) return CutToBuffer(StripMatchingQuotes(location.value), bufferChars);
    std::wstring_view fallback = defaultValue;
    while (!fallback.empty() && (fallback.back() == L' ' || fallback.back() == L'\t'))
        fallback.remove_suffix(1);
    return CutToBuffer(fallback, bufferChars);
}

std::wstring ReadIniString(std::wstring_view path, std::wstring_view section,
                           std::wstring_view key, std::wstring_view defaultValue,
                           std::size_t bufferChars) {
    const std::optional<std::string> bytes = ReadFileBytes(path);
    return ReadIniStringFromBytes(bytes ? std::string_view(*bytes) : std::string_view(), section, key,
                                  defaultValue, bufferChars);
}

int ReadIniIntFromBytes(std::string_view fileBytes, std::wstring_view section,
                        std::wstring_view key, int defaultValue) {
    const std::wstring text = ReadIniStringFromBytes(fileBytes, section, key, L"");
    if (text.empty()) return defaultValue;
    const IntReading reading = ReadLeadingInt(text);
    return reading.status == NumberReading::Value ? reading.value : 0;
}

int ReadIniInt(std::wstring_view path, std::wstring_view section, std::wstring_view key,
               int defaultValue) {
    const std::optional<std::string> bytes = ReadFileBytes(path);
    return ReadIniIntFromBytes(bytes ? std::string_view(*bytes) : std::string_view(), section, key,
                               defaultValue);
}

bool WriteIniString(std::wstring_view path, std::wstring_view section, std::wstring_view key,
                    std::wstring_view value) {
    if (!IsStorableName(section) || section.find(L']') != std::wstring_view::npos) return false;
    if (!IsStorableName(key) || key.find(L'=') != std::wstring_view::npos || key.front() == L'[' ||
        key.front() == L';')
        return false;
    if (HasLineBreak(value)) return false;

    std::string bytes;
    if (PathExists(path)) {
        std::optional<std::string> existing = ReadFileBytes(path);
        if (!existing) return false;
        bytes = std::move(*existing);
    }
    const std::vector<LineSpan> lines = SplitLines(bytes, ContentStart(bytes));
    const Location location = Locate(bytes, lines, section, key);

    // New lines take the file's own line end.
    std::string lineEnd = "\n";
    if (!lines.empty() && lines.front().end > lines.front().contentEnd + 1) lineEnd = "\r\n";
    const std::string entry = WideToUtf8(key) + "=" + WideToUtf8(EncodeValue(value));

    std::string updated;
    if (location.entryLine) {
        // Keep the line's indentation and the key as it was spelt; replace what follows "=".
        const LineSpan& span = lines[*location.entryLine];
        const std::size_t equals = bytes.find('=', span.begin);
        updated = bytes.substr(0, equals + 1) + WideToUtf8(EncodeValue(value)) +
                  bytes.substr(span.contentEnd);
    } else if (location.sectionLine) {
        const LineSpan& after = lines[location.lastSectionLine];
        updated = bytes.substr(0, after.end);
        if (after.end == after.contentEnd) updated += lineEnd;  // the file ended without one
        updated += entry + lineEnd;
        updated += bytes.substr(after.end);
    } else {
        updated = bytes;
        if (!lines.empty()) {
            if (lines.back().end == lines.back().contentEnd) updated += lineEnd;
            const LineSpan& last = lines.back();
            if (last.contentEnd > last.begin) updated += lineEnd;  // a blank line between sections
        }
        updated += "[" + WideToUtf8(section) + "]" + lineEnd + entry + lineEnd;
    }
    return WriteFileAtomically(path, updated);
}

}  // namespace Platform
