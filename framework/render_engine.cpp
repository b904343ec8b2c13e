#include "framework/render_engine.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>
#include <utility>

#include "framework/resource_manager.h"
#include "platform/text_encoding.h"

namespace Framework::RenderEngine {

namespace {

// Faces tried after the one a layout names, so that Chinese text always finds glyphs:
// "微软雅黑" is not installed on Linux and WenQuanYi Micro Hei is its closest match.
constexpr const char* kFallbackFamilies = ",WenQuanYi Micro Hei,Noto Sans CJK SC,Droid Sans Fallback,sans-serif";

void SetColor(cairo_t* cr, std::uint32_t color) {
    cairo_set_source_rgba(cr, ((color >> 16) & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0,
                          (color & 0xFF) / 255.0, ((color >> 24) & 0xFF) / 255.0);
}

void RoundRectPath(cairo_t* cr, double x, double y, double w, double h, double rx, double ry) {
    rx = std::min(rx, w / 2);
    ry = std::min(ry, h / 2);
    if (rx <= 0.5 || ry <= 0.5) {
        cairo_rectangle(cr, x, y, w, h);
        return;
    }
    cairo_new_sub_path(cr);
    cairo_save(cr);
    cairo_translate(cr, x + w - rx, y + ry);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, -G_PI / 2, 0);
    cairo_restore(cr);
    cairo_save(cr);
    cairo_translate(cr, x + w - rx, y + h - ry);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, 0, G_PI / 2);
    cairo_restore(cr);
    cairo_save(cr);
    cairo_translate(cr, x + rx, y + h - ry);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, G_PI / 2, G_PI);
    cairo_restore(cr);
    cairo_save(cr);
    cairo_translate(cr, x + rx, y + ry);
    cairo_scale(cr, rx, ry);
    cairo_arc(cr, 0, 0, 1, G_PI, 3 * G_PI / 2);
    cairo_restore(cr);
    cairo_close_path(cr);
}

// ---- images ----

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { if (s) cairo_surface_destroy(s); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// Decoded images by (lower-cased name with "/" separators, mask); nullptr remembers a
// file that is missing or broken so it is not read again on every paint.
std::map<std::pair<std::wstring, std::int64_t>, SurfacePtr>& ImageCache() {
    static std::map<std::pair<std::wstring, std::int64_t>, SurfacePtr> cache;
    return cache;
}

struct PngSource {
    const std::string* bytes;
    std::size_t offset;
};

cairo_status_t ReadPng(void* closure, unsigned char* data, unsigned int length) {
    auto* source = static_cast<PngSource*>(closure);
    if (source->bytes->size() - source->offset < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, source->bytes->data() + source->offset, length);
    source->offset += length;
    return CAIRO_STATUS_SUCCESS;
}

SurfacePtr Decode(const std::string& bytes, std::int64_t mask) {
    PngSource source{&bytes, 0};
    SurfacePtr png(cairo_image_surface_create_from_png_stream(ReadPng, &source));
    if (!png || cairo_surface_status(png.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    const int width = cairo_image_surface_get_width(png.get());
    const int height = cairo_image_surface_get_height(png.get());
    // Always keep ARGB32 so masks and fades work the same for every PNG kind.
    SurfacePtr image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo_t* cr = cairo_create(image.get());
    cairo_set_source_surface(cr, png.get(), 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(image.get());
    if (mask >= 0) {
        unsigned char* data = cairo_image_surface_get_data(image.get());
        const int stride = cairo_image_surface_get_stride(image.get());
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
            for (int x = 0; x < width; ++x) {
                const std::uint32_t a = row[x] >> 24;
                if (a != 0xFF) continue;  // the mask colour is matched on opaque pixels
                if ((row[x] & 0x00FFFFFFu) == static_cast<std::uint32_t>(mask)) row[x] = 0;
            }
        }
        cairo_surface_mark_dirty(image.get());
    }
    return image;
}

std::wstring CacheName(const std::wstring& file) {
    std::wstring name = file;
    for (wchar_t& c : name) {
        if (c == L'\\') c = L'/';
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return name;
}

// Paints the `src` part of `image` stretched (or tiled) into `dst`.
void Blit(cairo_t* cr, cairo_surface_t* image, double sx, double sy, double sw, double sh, double dx,
          double dy, double dw, double dh, bool xtiled, bool ytiled, double alpha) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    cairo_save(cr);
    cairo_rectangle(cr, dx, dy, dw, dh);
    cairo_clip(cr);
    // Each part is cut out first: filtering while stretching must not pull in the
    // neighbouring slice's pixels (nine-slice margins would bleed into the centre).
    cairo_surface_t* part = cairo_surface_create_for_rectangle(image, sx, sy, sw, sh);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(part);
    cairo_surface_destroy(part);
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, xtiled ? 1.0 : sw / dw, ytiled ? 1.0 : sh / dh);
    cairo_matrix_translate(&m, -dx, -dy);
    cairo_pattern_set_matrix(pattern, &m);
    cairo_pattern_set_extend(pattern, (xtiled || ytiled) ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
    if (sw == dw && sh == dh) cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    cairo_set_source(cr, pattern);
    if (alpha >= 1.0) cairo_paint(cr); else cairo_paint_with_alpha(cr, alpha);
    cairo_pattern_destroy(pattern);
    cairo_restore(cr);
}

// ---- text ----

PangoContext* MeasureContext() {
    static PangoContext* context = [] {
        // Fontconfig is loaded here, on the window thread, before Pango would load it on
        // a helper thread of its own whose hand-over the thread checker cannot follow.
        FcInit();
        PangoFontMap* map = pango_cairo_font_map_get_default();
        PangoContext* c = pango_font_map_create_context(map);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
        pango_cairo_context_set_font_options(c, options);
        cairo_font_options_destroy(options);
        return c;
    }();
    return context;
}

PangoFontDescription* FontDescription(const FontSpec& font) {
    using Key = std::tuple<std::wstring, int, bool, bool>;
    static std::map<Key, PangoFontDescription*> cache;
    const Key key{font.name, font.size, font.bold, font.italic};
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    // Layouts name a handful of fonts; a bound keeps odd input from growing the cache.
    // Layouts copy the description they are given, so dropping entries is safe.
    constexpr std::size_t kMostFonts = 256;
    if (cache.size() >= kMostFonts) {
        for (auto& [unused, description] : cache) pango_font_description_free(description);
        cache.clear();
    }
    PangoFontDescription* d = pango_font_description_new();
    const std::string family = Platform::WideToUtf8(font.name.empty() ? L"sans-serif" : font.name) + kFallbackFamilies;
    pango_font_description_set_family(d, family.c_str());
    pango_font_description_set_absolute_size(d, std::max(1, font.size) * PANGO_SCALE);
    pango_font_description_set_weight(d, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(d, font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    cache.emplace(key, d);
    return d;
}

// A layout for `text` (UTF-8) in `font` and `style`, limited to `width` pixels (0: none).
PangoLayout* MakeLayout(const std::string& utf8, const FontSpec& font, UINT style, int width) {
    PangoLayout* layout = pango_layout_new(MeasureContext());
    pango_layout_set_font_description(layout, FontDescription(font));
    if (font.underline) {
        PangoAttrList* attributes = pango_attr_list_new();
        pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        pango_layout_set_attributes(layout, attributes);
        pango_attr_list_unref(attributes);
    }
    pango_layout_set_text(layout, utf8.data(), static_cast<int>(utf8.size()));
    if (style & DT_SINGLELINE) pango_layout_set_single_paragraph_mode(layout, TRUE);
    if (width > 0) {
        if (style & DT_WORDBREAK) {
            pango_layout_set_width(layout, width * PANGO_SCALE);
            pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        } else if (style & DT_END_ELLIPSIS) {
            pango_layout_set_width(layout, width * PANGO_SCALE);
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        }
    }
    return layout;
}

// Byte offset in UTF-8 of the character at `index` of the wide text.
int ByteOffset(std::wstring_view text, int index) {
    return static_cast<int>(Platform::WideToUtf8(text.substr(0, static_cast<std::size_t>(index))).size());
}

}  // namespace

void FillRect(cairo_t* cr, const Rect& rect, std::uint32_t color) {
    if ((color >> 24) == 0 || rect.IsEmpty()) return;
    SetColor(cr, color);
    cairo_rectangle(cr, rect.left, rect.top, rect.Width(), rect.Height());
    cairo_fill(cr);
}

void FillRoundRect(cairo_t* cr, const Rect& rect, Size round, std::uint32_t color) {
    if ((color >> 24) == 0 || rect.IsEmpty()) return;
    SetColor(cr, color);
    RoundRectPath(cr, rect.left, rect.top, rect.Width(), rect.Height(), round.cx / 2.0, round.cy / 2.0);
    cairo_fill(cr);
}

void DrawBorder(cairo_t* cr, const Rect& rect, int width, std::uint32_t color, Size round) {
    if (width <= 0 || (color >> 24) == 0 || rect.IsEmpty()) return;
    SetColor(cr, color);
    cairo_set_line_width(cr, width);
    const double half = width / 2.0;
    RoundRectPath(cr, rect.left + half, rect.top + half, rect.Width() - width, rect.Height() - width,
                  round.cx / 2.0, round.cy / 2.0);
    cairo_stroke(cr);
}

cairo_surface_t* LoadImage(const std::wstring& file, std::int64_t mask) {
    if (file.empty()) return nullptr;
    auto key = std::make_pair(CacheName(file), mask);
    auto& cache = ImageCache();
    auto it = cache.find(key);
    if (it != cache.end()) return it->second.get();
    SurfacePtr image;
    if (auto bytes = ResourceManager::Instance().ReadFile(file)) image = Decode(*bytes, mask);
    cairo_surface_t* result = image.get();
    // Remembered misses save a lookup per paint; names that never existed cannot grow
    // the cache without bound.
    constexpr std::size_t kMostEntries = 4096;
    if (cache.size() >= kMostEntries) std::erase_if(cache, [](const auto& entry) { return !entry.second; });
    cache.emplace(std::move(key), std::move(image));
    return result;
}

void ClearImageCache() { ImageCache().clear(); }

bool DrawImage(cairo_t* cr, const Rect& controlRect, const ImageDescription& d) {
    cairo_surface_t* image = LoadImage(d.file, d.mask ? static_cast<std::int64_t>(*d.mask) : -1);
    if (!image) return false;
    const int iw = cairo_image_surface_get_width(image);
    const int ih = cairo_image_surface_get_height(image);
    Rect src{0, 0, iw, ih};
    if (d.source) {
        src = d.source->Intersect(Rect{0, 0, iw, ih});
        if (src.IsEmpty()) return true;
    }
    Rect dst = controlRect;
    if (d.dest) {
        dst = d.dest->Offset(controlRect.left, controlRect.top);
        dst.right = std::min(dst.right, controlRect.right);
        dst.bottom = std::min(dst.bottom, controlRect.bottom);
    }
    if (dst.IsEmpty() || d.fade <= 0) return true;
    const double alpha = d.fade / 255.0;
    const Rect c = d.corner;
    const bool nine = c.left || c.top || c.right || c.bottom;
    if (!nine) {
        Blit(cr, image, src.left, src.top, src.Width(), src.Height(), dst.left, dst.top, dst.Width(),
             dst.Height(), d.xtiled, d.ytiled, alpha);
        return true;
    }
    // Nine-slice: margins larger than the source or the target shrink to fit.
    const int cl = std::min(c.left, src.Width()), cr_ = std::min(c.right, src.Width() - cl);
    const int ct = std::min(c.top, src.Height()), cb = std::min(c.bottom, src.Height() - ct);
    const int dl = std::min(cl, dst.Width()), dr = std::min(cr_, dst.Width() - dl);
    const int dt = std::min(ct, dst.Height()), db = std::min(cb, dst.Height() - dt);
    const double sxs[4] = {double(src.left), double(src.left + cl), double(src.right - cr_), double(src.right)};
    const double sys[4] = {double(src.top), double(src.top + ct), double(src.bottom - cb), double(src.bottom)};
    const double dxs[4] = {double(dst.left), double(dst.left + dl), double(dst.right - dr), double(dst.right)};
    const double dys[4] = {double(dst.top), double(dst.top + dt), double(dst.bottom - db), double(dst.bottom)};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            if (row == 1 && col == 1 && d.hole) continue;
            const bool tileX = d.xtiled && col == 1;
            const bool tileY = d.ytiled && row == 1;
            Blit(cr, image, sxs[col], sys[row], sxs[col + 1] - sxs[col], sys[row + 1] - sys[row], dxs[col],
                 dys[row], dxs[col + 1] - dxs[col], dys[row + 1] - dys[row], tileX, tileY, alpha);
        }
    }
    return true;
}

void DrawText(cairo_t* cr, const Rect& rect, std::wstring_view text, std::uint32_t color, const FontSpec& font,
              UINT style) {
    if (text.empty() || rect.IsEmpty()) return;
    if ((color >> 24) == 0) color |= 0xFF000000u;
    const std::string utf8 = Platform::WideToUtf8(text);
    PangoLayout* layout = MakeLayout(utf8, font, style, rect.Width());
    pango_cairo_update_context(cr, pango_layout_get_context(layout));
    pango_layout_context_changed(layout);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    double x = rect.left;
    if (style & DT_CENTER) x = rect.left + (rect.Width() - w) / 2.0;
    else if (style & DT_RIGHT) x = rect.right - w;
    if ((style & (DT_CENTER | DT_RIGHT)) && (style & DT_WORDBREAK)) {
        // Wrapped lines align inside the layout's own width.
        pango_layout_set_alignment(layout, (style & DT_CENTER) ? PANGO_ALIGN_CENTER : PANGO_ALIGN_RIGHT);
        x = rect.left;
    }
    double y = rect.top;
    if (style & DT_VCENTER) y = rect.top + (rect.Height() - h) / 2.0;
    else if (style & DT_BOTTOM) y = rect.bottom - h;
    cairo_save(cr);
    cairo_rectangle(cr, rect.left, rect.top, rect.Width(), rect.Height());
    cairo_clip(cr);
    SetColor(cr, color);
    // Whole pixels keep glyph edges crisp.
    cairo_move_to(cr, static_cast<int>(x), static_cast<int>(y));
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
}

Size MeasureText(std::wstring_view text, const FontSpec& font, UINT style, int width) {
    if (text.empty()) return {};
    const std::string utf8 = Platform::WideToUtf8(text);
    PangoLayout* layout = MakeLayout(utf8, font, style & ~DT_END_ELLIPSIS, width);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    g_object_unref(layout);
    return {w, h};
}

int UnknownGlyphCount(std::wstring_view text, const FontSpec& font) {
    const std::string utf8 = Platform::WideToUtf8(text);
    PangoLayout* layout = MakeLayout(utf8, font, DT_SINGLELINE, 0);
    const int unknown = pango_layout_get_unknown_glyphs_count(layout);
    g_object_unref(layout);
    return unknown;
}

int HitTestText(std::wstring_view text, const FontSpec& font, int x) {
    if (text.empty() || x <= 0) return 0;
    const std::string utf8 = Platform::WideToUtf8(text);
    PangoLayout* layout = MakeLayout(utf8, font, DT_SINGLELINE, 0);
    int index = 0, trailing = 0;
    pango_layout_xy_to_index(layout, x * PANGO_SCALE, 0, &index, &trailing);
    g_object_unref(layout);
    // Byte index back to characters, plus the trailing graphemes.
    const int characters = static_cast<int>(Platform::Utf8ToWide(std::string_view(utf8).substr(0, index)).size());
    return std::min<int>(characters + trailing, static_cast<int>(text.size()));
}

int TextOffsetOf(std::wstring_view text, const FontSpec& font, int index) {
    if (text.empty() || index <= 0) return 0;
    index = std::min<int>(index, static_cast<int>(text.size()));
    const std::string utf8 = Platform::WideToUtf8(text);
    PangoLayout* layout = MakeLayout(utf8, font, DT_SINGLELINE, 0);
    PangoRectangle pos;
    pango_layout_index_to_pos(layout, ByteOffset(text, index), &pos);
    g_object_unref(layout);
    return PANGO_PIXELS(pos.x);
}

}  // namespace Framework::RenderEngine
