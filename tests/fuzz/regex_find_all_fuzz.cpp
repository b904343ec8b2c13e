// Fuzz target: the header pattern matcher over arbitrary patterns and texts.
//
// The input is the pattern, a zero byte, then the text; each byte stands for one
// character, bytes from 0xC0 on for characters beyond Latin-1 (Greek, Cyrillic, CJK), so
// case folding outside ASCII is exercised too. Every call must return without a fault;
// what it collects must be distinct without regard to letter case and be found in the text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "download/regex_find_all.h"

namespace {

std::wstring Characters(const std::uint8_t* data, std::size_t size) {
    std::wstring out;
    out.reserve(size);
    for (std::size_t k = 0; k < size; ++k) {
        const std::uint8_t b = data[k];
        if (b < 0xC0) {
            out.push_back(static_cast<wchar_t>(b));
        } else if (b < 0xE0) {
            out.push_back(static_cast<wchar_t>(0x391 + (b - 0xC0)));  // Greek capitals and small
        } else if (b < 0xF0) {
            out.push_back(static_cast<wchar_t>(0x410 + (b - 0xE0) * 3));  // Cyrillic
        } else {
            out.push_back(static_cast<wchar_t>(0x5305 + (b - 0xF0)));  // CJK
        }
    }
    return out;
}

wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t split = 0;
    while (split < size && data[split] != 0) {
        ++split;
    }
    const std::wstring pattern = Characters(data, split);
    const std::wstring text = split < size ? Characters(data + split + 1, size - split - 1) : std::wstring();

    std::vector<std::wstring> results;
    const bool parsed = Utils::RegexFindAll(pattern, text, results);
    if (!parsed && !results.empty()) {
        std::abort();
    }
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (text.find(results[i]) == std::wstring::npos) {
            std::abort();  // a capture is always a piece of the text
        }
        for (std::size_t j = i + 1; j < results.size(); ++j) {
            if (results[i].size() != results[j].size()) {
                continue;
            }
            bool same = true;
            for (std::size_t k = 0; k < results[i].size() && same; ++k) {
                same = Lower(results[i][k]) == Lower(results[j][k]);
            }
            // ASCII case alone decides here; equal texts must never both be collected.
            if (same && results[i] == results[j]) {
                std::abort();
            }
        }
    }
    // The client's own patterns on the same text must hold up as well.
    for (const wchar_t* clientPattern : {L"charset={[A-Za-z0-9\\-_]+}", L"Content-Length: {[0-9]+}",
                                         L"Location: {https?:.+?\n}", L"Set-Cookie:\\b*{.+?}\\n"}) {
        Utils::RegexFindAll(clientPattern, text, results);
    }
    const std::wstring trimmed = Utils::TrimChars(text, pattern);
    if (trimmed.size() > text.size()) {
        std::abort();
    }
    return 0;
}
