#include "framework/attribute_values.h"

#include <cwctype>

#include "platform/text_encoding.h"

namespace Framework {

namespace {

constexpr long long kLargestMagnitude = 1000000;

std::wstring_view Trim(std::wstring_view text) {
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
    return text;
}

wchar_t Lower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

std::optional<std::uint32_t> ParseColor(std::wstring_view text) {
    text = Trim(text);
    if (text.size() > 0 && text[0] == L'#') {
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        text.remove_prefix(2);
    } else {
        return std::nullopt;
    }
    if (text.size() != 8 && text.size() != 6) return std::nullopt;
    std::uint32_t value = 0;
    for (wchar_t c : text) {
        const int digit = Platform::HexDigitValue(c);
        if (digit < 0) return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    if (text.size() == 6) value |= 0xFF000000u;
    return value;
}

std::optional<int> ParseInteger(std::wstring_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text[0] == L'-' || text[0] == L'+')) {
        negative = text[0] == L'-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
        if (value > kLargestMagnitude) return std::nullopt;
    }
    return static_cast<int>(negative ? -value : value);
}

bool ParseIntegerList(std::wstring_view text, int* values, int count) {
    for (int i = 0; i < count; ++i) {
        const std::size_t comma = text.find(L',');
        const bool last = i == count - 1;
        if (last != (comma == std::wstring_view::npos)) return false;
        const auto value = ParseInteger(last ? text : text.substr(0, comma));
        if (!value) return false;
        values[i] = *value;
        if (!last) text.remove_prefix(comma + 1);
    }
    return true;
}

std::optional<Rect> ParseRect(std::wstring_view text) {
    int v[4];
    if (!ParseIntegerList(text, v, 4)) return std::nullopt;
    return Rect{v[0], v[1], v[2], v[3]};
}

std::optional<Size> ParseSize(std::wstring_view text) {
    int v[2];
    if (!ParseIntegerList(text, v, 2)) return std::nullopt;
    return Size{v[0], v[1]};
}

bool ParseBool(std::wstring_view text) { return EqualsIgnoreCase(Trim(text), L"true"); }

bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

}  // namespace Framework
