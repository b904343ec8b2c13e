#pragma once
// Painting primitives shared by all controls: colours, borders, images from the skin
// (with the image description's dest, source, nine-slice corner, mask, fade, hole and
// tiling) and text through Pango. Everything draws into a cairo context whose clip
// already limits it to the part of the window being repainted.
//
// Used on the window thread only; the image and font caches are not locked.

#include <cairo.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/geometry.h"
#include "framework/image_description.h"
#include "framework/window_messages.h"

namespace Framework {

// One entry of a window's font table. `size` is in pixels.
struct FontSpec {
    std::wstring name = L"微软雅黑";
    int size = 12;
    bool bold = false;
    bool underline = false;
    bool italic = false;
};

namespace RenderEngine {

// 0xAARRGGBB; alpha 0 draws nothing.
void FillRect(cairo_t* cr, const Rect& rect, std::uint32_t color);
// A frame of `width` pixels inside `rect`, with corner ellipse `round` (0,0: square).
void DrawBorder(cairo_t* cr, const Rect& rect, int width, std::uint32_t color, Size round);
void FillRoundRect(cairo_t* cr, const Rect& rect, Size round, std::uint32_t color);

// Draws the image that `image` describes into `controlRect` (or its `dest` inside it).
// False when the file cannot be found or decoded; nothing is drawn then.
bool DrawImage(cairo_t* cr, const Rect& controlRect, const ImageDescription& image);

// Draws `text` into `rect` with a DT_* style. Colour alpha 0 is treated as opaque so
// that a "#RRGGBB"-less colour from old skins still shows.
void DrawText(cairo_t* cr, const Rect& rect, std::wstring_view text, std::uint32_t color,
              const FontSpec& font, UINT style);

// The pixel size the text takes in `font` and `style`; `width` limits the line length
// when the style wraps (DT_WORDBREAK), 0 meaning unlimited.
Size MeasureText(std::wstring_view text, const FontSpec& font, UINT style, int width = 0);

// Index of the character boundary nearest to `x` pixels from the start of a one-line
// text, and the pixel offset of a boundary: for caret placement in an edit.
int HitTestText(std::wstring_view text, const FontSpec& font, int x);
int TextOffsetOf(std::wstring_view text, const FontSpec& font, int index);

// How many characters of `text` no installed face can show (drawn as boxes).
int UnknownGlyphCount(std::wstring_view text, const FontSpec& font);

// Forgets decoded images (after the skin reader changed).
void ClearImageCache();

// The decoded image (premultiplied ARGB) for `file` with an optional mask colour, or
// nullptr when it cannot be had. Owned by the cache.
cairo_surface_t* LoadImage(const std::wstring& file, std::int64_t mask = -1);

}  // namespace RenderEngine
}  // namespace Framework
