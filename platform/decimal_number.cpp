#include "platform/decimal_number.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace Platform {
namespace {

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::size_t SkipBlanks(std::wstring_view text) {
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at])) ++at;
    return at;
}

}  // namespace

IntReading ReadLeadingInt(std::wstring_view text) {
    std::size_t at = SkipBlanks(text);
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        negative = text[at] == L'-';
        ++at;
    }
    if (at >= text.size() || !IsDigit(text[at])) return {};
    // Accumulate as a negative number so that INT_MIN fits; stop counting once too large.
    long long magnitude = 0;
    bool overflow = false;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        if (!overflow) {
            magnitude = magnitude * 10 + (text[at] - L'0');
            if (magnitude > 2147483648LL) overflow = true;
        }
    }
    if (overflow || (!negative && magnitude > 2147483647LL)) return {NumberReading::OutOfRange, 0};
    return {NumberReading::Value, static_cast<int>(negative ? -magnitude : magnitude)};
}

DoubleReading ReadLeadingDouble(std::wstring_view text) {
    std::size_t at = SkipBlanks(text);
    std::string number;  // the decimal form in ASCII, for a locale-free conversion
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        if (text[at] == L'-') number += '-';
        ++at;
    }
    std::size_t digits = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at, ++digits) number += static_cast<char>(text[at]);
    if (at < text.size() && text[at] == L'.') {
        number += '.';
        for (++at; at < text.size() && IsDigit(text[at]); ++at, ++digits)
            number += static_cast<char>(text[at]);
    }
    if (digits == 0) return {};
    // An exponent counts only when at least one digit follows its letter and sign.
    if (at < text.size() && (text[at] == L'e' || text[at] == L'E')) {
        std::size_t exponentAt = at + 1;
        std::string exponent = "e";
        if (exponentAt < text.size() && (text[exponentAt] == L'+' || text[exponentAt] == L'-')) {
            if (text[exponentAt] == L'-') exponent += '-';
            ++exponentAt;
        }
        if (exponentAt < text.size() && IsDigit(text[exponentAt])) {
            for (; exponentAt < text.size() && IsDigit(text[exponentAt]); ++exponentAt)
                exponent += static_cast<char>(text[exponentAt]);
            number += exponent;
        }
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        // from_chars reports both overflow and underflow; only overflow loses the value.
        // The "C" locale keeps "." the decimal point whatever the process's locale says.
        static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
        if (cLocale == static_cast<locale_t>(nullptr)) return {NumberReading::OutOfRange, 0.0};
        const double approximate = strtod_l(number.c_str(), nullptr, cLocale);
        if (std::isinf(approximate)) return {NumberReading::OutOfRange, 0.0};
        return {NumberReading::Value, number[0] == '-' ? -0.0 : 0.0};
    }
    if (error != std::errc()) return {};
    return {NumberReading::Value, value};
}

}  // namespace Platform
