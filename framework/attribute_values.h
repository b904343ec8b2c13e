#pragma once
// Parsers for the value forms of layout attributes. Each returns nullopt for a value
// that does not have the form, so the caller leaves the attribute unset.
//
// Stateless; safe on any thread.

#include <cstdint>
#include <optional>
#include <string_view>

#include "framework/geometry.h"

namespace Framework {

// A colour as 0xAARRGGBB. Accepts "#" or "0x" followed by eight hexadecimal digits
// (alpha first) or six (red, green, blue; fully opaque). Anything else: nullopt.
std::optional<std::uint32_t> ParseColor(std::wstring_view text);

// A decimal integer with optional surrounding blanks and sign; nothing else may follow.
// Values beyond ±1,000,000 are refused: no layout needs them and they overflow sums.
std::optional<int> ParseInteger(std::wstring_view text);

// Exactly `count` comma-separated integers (blanks allowed around them).
bool ParseIntegerList(std::wstring_view text, int* values, int count);

// "l,t,r,b" and "cx,cy".
std::optional<Rect> ParseRect(std::wstring_view text);
std::optional<Size> ParseSize(std::wstring_view text);

// "true" (any letter case) is true; everything else is false.
bool ParseBool(std::wstring_view text);

// Case-insensitive comparison of ASCII-range letters; other characters compare exactly.
bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b);

}  // namespace Framework
