#pragma once
// What an image attribute of a layout asks for: a plain archive-relative file name, or
// key='value' pairs (file, dest, source, corner, mask, fade, hole, xtiled, ytiled).
//
// Values that do not parse leave their field unset; unknown keys are ignored.
// Stateless; safe on any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "framework/geometry.h"

namespace Framework {

struct ImageDescription {
    std::wstring file;                 // empty: nothing to draw
    std::optional<Rect> dest;          // target rectangle inside the control
    std::optional<Rect> source;        // part of the image to use
    Rect corner;                       // nine-slice margins kept unstretched
    std::optional<std::uint32_t> mask; // pixels of this RGB colour become transparent
    int fade = 255;                    // opacity 0..255
    bool hole = false;                 // skip the centre of a nine-slice
    bool xtiled = false;               // repeat instead of stretch, horizontally
    bool ytiled = false;               // ... and vertically
};

// Parses `text`. A text without any "=" is a plain file name. Never fails: a malformed
// description gives a description whose unparsable parts are unset (an unterminated
// quote ends the description).
ImageDescription ParseImageDescription(std::wstring_view text);

}  // namespace Framework
