#include "framework/label.h"

#include "framework/attribute_values.h"
#include "framework/paint_manager.h"
#include "framework/render_engine.h"

namespace Framework {

CLabel::CLabel() = default;

std::wstring_view CLabel::GetClass() const { return L"Label"; }

void* CLabel::GetInterface(std::wstring_view name) {
    if (name == L"Label") return this;
    return CControl::GetInterface(name);
}

void CLabel::SetFont(int index) {
    font_ = index;
    Invalidate();
}

void CLabel::SetTextStyle(UINT style) {
    textStyle_ = style;
    Invalidate();
}

void CLabel::SetTextPadding(const Rect& padding) {
    textPadding_ = padding;
    Invalidate();
}

void CLabel::SetTextColor(std::uint32_t color) {
    textColor_ = color;
    Invalidate();
}

void CLabel::SetDisabledTextColor(std::uint32_t color) {
    disabledTextColor_ = color;
    Invalidate();
}

void CLabel::SetAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"font") {
        if (auto v = ParseInteger(value); v && *v >= -1) SetFont(*v);
    } else if (name == L"textcolor") {
        if (auto c = ParseColor(value)) SetTextColor(*c);
    } else if (name == L"disabledtextcolor") {
        if (auto c = ParseColor(value)) SetDisabledTextColor(*c);
    } else if (name == L"align") {
        if (value.find(L"left") != std::wstring_view::npos) {
            textStyle_ &= ~(DT_CENTER | DT_RIGHT);
            textStyle_ |= DT_LEFT;
        }
        if (value.find(L"center") != std::wstring_view::npos) {
            textStyle_ &= ~(DT_LEFT | DT_RIGHT);
            textStyle_ |= DT_CENTER;
        }
        if (value.find(L"right") != std::wstring_view::npos) {
            textStyle_ &= ~(DT_LEFT | DT_CENTER);
            textStyle_ |= DT_RIGHT;
        }
        Invalidate();
    } else if (name == L"valign") {
        // The words are searched for, so "center" matches none and changes nothing.
        if (value.find(L"top") != std::wstring_view::npos) {
            textStyle_ &= ~(DT_BOTTOM | DT_VCENTER);
            textStyle_ |= DT_TOP;
        }
        if (value.find(L"vcenter") != std::wstring_view::npos) {
            textStyle_ &= ~(DT_TOP | DT_BOTTOM);
            textStyle_ |= DT_VCENTER;
        }
        if (value.find(L"bottom") != std::wstring_view::npos) {
            textStyle_ &= ~(DT_TOP | DT_VCENTER);
            textStyle_ |= DT_BOTTOM;
        }
        Invalidate();
    } else if (name == L"multiline") {
        if (ParseBool(value)) {
            textStyle_ &= ~DT_SINGLELINE;
            textStyle_ |= DT_WORDBREAK;
        } else {
            textStyle_ &= ~DT_WORDBREAK;
            textStyle_ |= DT_SINGLELINE;
        }
        Invalidate();
    } else if (name == L"endellipsis") {
        if (ParseBool(value)) textStyle_ |= DT_END_ELLIPSIS; else textStyle_ &= ~DT_END_ELLIPSIS;
        Invalidate();
    } else if (name == L"textpadding") {
        if (auto r = ParseRect(value)) SetTextPadding(*r);
    } else {
        CControl::SetAttribute(name, value);
    }
}

void CLabel::DrawLabelText(cairo_t* cr, std::uint32_t color) {
    if (text_.empty() || !manager_) return;
    const Rect area = pos_.Deflate(textPadding_);
    RenderEngine::DrawText(cr, area, text_, color, manager_->GetFont(font_), textStyle_);
}

void CLabel::PaintText(cairo_t* cr) { DrawLabelText(cr, IsEnabled() ? textColor_ : disabledTextColor_); }

}  // namespace Framework
