#include "framework/progress.h"

#include <algorithm>

#include "framework/attribute_values.h"
#include "framework/render_engine.h"

namespace Framework {

std::wstring_view CProgress::GetClass() const { return L"Progress"; }

void* CProgress::GetInterface(std::wstring_view name) {
    if (name == L"Progress") return this;
    return CLabel::GetInterface(name);
}

void CProgress::SetAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"foreimage") {
        SetForeImage(std::wstring(value));
    } else if (name == L"value") {
        if (auto v = ParseInteger(value)) SetValue(*v);
    } else {
        CLabel::SetAttribute(name, value);
    }
}

void CProgress::SetValue(int value) {
    value = std::clamp(value, kMinimum, kMaximum);
    if (value == value_) return;
    value_ = value;
    Invalidate();
}

void CProgress::SetForeImage(std::wstring image) {
    foreImageText_ = std::move(image);
    foreImage_ = ParseImageDescription(foreImageText_);
    Invalidate();
}

void CProgress::PaintStatusImage(cairo_t* cr) {
    if (foreImage_.file.empty() || value_ <= kMinimum) return;
    const int filled = pos_.Width() * (value_ - kMinimum) / (kMaximum - kMinimum);
    if (filled <= 0) return;
    ImageDescription fill = foreImage_;
    Rect dest{0, 0, filled, pos_.Height()};
    if (foreImage_.dest) dest = foreImage_.dest->Intersect(dest);
    fill.dest = dest;
    RenderEngine::DrawImage(cr, pos_, fill);
}

}  // namespace Framework
