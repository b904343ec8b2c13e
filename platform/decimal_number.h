#pragma once
// Decimal numbers at the start of a text, read the way the C runtime's wcstol and wcstod
// read them, but independent of the locale and with "does not fit" made explicit.
//
// Leading white space is skipped, an optional sign is taken, and reading stops at the first
// character that cannot continue the number; what follows is ignored. Only decimal forms
// count: no hexadecimal, no "inf" or "nan", so a reader never hands out a value that the
// installer's arithmetic cannot use.
//
// Stateless and safe on any thread.

#include <optional>
#include <string_view>

namespace Platform {

enum class NumberReading {
    Value,       // a number was read and fits
    NoNumber,    // the text does not start with a number
    OutOfRange,  // a number was read but its magnitude does not fit the type
};

struct IntReading {
    NumberReading status = NumberReading::NoNumber;
    int value = 0;  // 0 unless status is Value
};

struct DoubleReading {
    NumberReading status = NumberReading::NoNumber;
    double value = 0.0;  // 0.0 unless status is Value
};

// "  -42abc" -> -42; "abc" -> NoNumber; "99999999999" -> OutOfRange.
IntReading ReadLeadingInt(std::wstring_view text);

// "0.5abc" -> 0.5; ".5" -> 0.5; "5." -> 5; "1e3x" -> 1000; "1e" -> 1; "abc" -> NoNumber;
// "1e999" -> OutOfRange. A value too small to represent ("1e-999") reads as 0 (or -0).
DoubleReading ReadLeadingDouble(std::wstring_view text);

}  // namespace Platform
