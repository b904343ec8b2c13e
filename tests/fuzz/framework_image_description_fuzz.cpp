// Fuzz target: the image-description parser and the attribute value readers over
// arbitrary text (UTF-8), and the drawing of what they describe.
//
// Parsed values must hold their ranges (fade 0..255, corner margins not negative), and
// drawing a description whose file is missing must draw nothing and not fault.

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "framework/attribute_values.h"
#include "framework/image_description.h"
#include "framework/render_engine.h"
#include "platform/text_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring text = Platform::Utf8ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
    const Framework::ImageDescription d = Framework::ParseImageDescription(text);
    if (d.fade < 0 || d.fade > 255) std::abort();
    if (d.corner.left < 0 || d.corner.top < 0 || d.corner.right < 0 || d.corner.bottom < 0) std::abort();
    if (d.mask && (*d.mask >> 24) != 0) std::abort();
    (void)Framework::ParseColor(text);
    (void)Framework::ParseRect(text);
    (void)Framework::ParseSize(text);
    if (auto v = Framework::ParseInteger(text); v && (*v > 1000000 || *v < -1000000)) std::abort();

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 32, 32);
    cairo_t* cr = cairo_create(surface);
    // No reader is set, so no file exists: nothing may be drawn.
    if (Framework::RenderEngine::DrawImage(cr, {0, 0, 32, 32}, d)) std::abort();
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return 0;
}
