#include "framework/image_description.h"

#include <algorithm>

#include "framework/attribute_values.h"

namespace Framework {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

void Apply(ImageDescription& d, std::wstring_view key, std::wstring_view value) {
    if (key == L"file" || key == L"res") {
        d.file.assign(value);
    } else if (key == L"dest") {
        if (auto r = ParseRect(value)) d.dest = r;
    } else if (key == L"source") {
        if (auto r = ParseRect(value)) d.source = r;
    } else if (key == L"corner") {
        if (auto r = ParseRect(value)) {
            // Negative margins have no meaning for a nine-slice.
            if (r->left >= 0 && r->top >= 0 && r->right >= 0 && r->bottom >= 0) d.corner = *r;
        }
    } else if (key == L"mask") {
        if (auto c = ParseColor(value)) d.mask = *c & 0x00FFFFFFu;
    } else if (key == L"fade") {
        if (auto f = ParseInteger(value)) d.fade = std::clamp(*f, 0, 255);
    } else if (key == L"hole") {
        d.hole = ParseBool(value);
    } else if (key == L"xtiled") {
        d.xtiled = ParseBool(value);
    } else if (key == L"ytiled") {
        d.ytiled = ParseBool(value);
    }
}

}  // namespace

ImageDescription ParseImageDescription(std::wstring_view text) {
    ImageDescription d;
    if (text.find(L'=') == std::wstring_view::npos) {
        while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
        while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
        d.file.assign(text);
        return d;
    }
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        const std::size_t keyStart = i;
        while (i < text.size() && text[i] != L'=' && !IsBlank(text[i])) ++i;
        const std::wstring_view key = text.substr(keyStart, i - keyStart);
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i >= text.size() || text[i] != L'=') {
            // A word without a value: skip it.
            if (i == keyStart) ++i;
            continue;
        }
        ++i;  // '='
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i >= text.size()) break;
        std::wstring_view value;
        const wchar_t quote = text[i];
        if (quote == L'\'' || quote == L'"') {
            const std::size_t end = text.find(quote, i + 1);
            if (end == std::wstring_view::npos) break;
            value = text.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            const std::size_t start = i;
            while (i < text.size() && !IsBlank(text[i])) ++i;
            value = text.substr(start, i - start);
        }
        Apply(d, key, value);
    }
    return d;
}

}  // namespace Framework
