#include "framework/button.h"

#include "framework/attribute_values.h"
#include "framework/paint_manager.h"
#include "framework/render_engine.h"

namespace Framework {

CButton::CButton() { textStyle_ = DT_SINGLELINE | DT_VCENTER | DT_CENTER; }

std::wstring_view CButton::GetClass() const { return L"Button"; }

void* CButton::GetInterface(std::wstring_view name) {
    if (name == L"Button") return this;
    return CLabel::GetInterface(name);
}

void CButton::SetNormalImage(std::wstring image) { normalImage_ = ParseImageDescription(image); Invalidate(); }
void CButton::SetHotImage(std::wstring image) { hotImage_ = ParseImageDescription(image); Invalidate(); }
void CButton::SetPushedImage(std::wstring image) { pushedImage_ = ParseImageDescription(image); Invalidate(); }
void CButton::SetDisabledImage(std::wstring image) { disabledImage_ = ParseImageDescription(image); Invalidate(); }

void CButton::SetAttribute(std::wstring_view name, std::wstring_view value) {
    auto color = [&](std::uint32_t& field) {
        if (auto c = ParseColor(value)) {
            field = *c;
            Invalidate();
        }
    };
    if (name == L"normalimage") SetNormalImage(std::wstring(value));
    else if (name == L"hotimage") SetHotImage(std::wstring(value));
    else if (name == L"pushedimage") SetPushedImage(std::wstring(value));
    else if (name == L"disabledimage") SetDisabledImage(std::wstring(value));
    else if (name == L"focusedimage") focusedImage_ = ParseImageDescription(value);
    else if (name == L"hotbkcolor") color(hotBkColor_);
    else if (name == L"pushedbkcolor") color(pushedBkColor_);
    else if (name == L"disabledbkcolor") color(disabledBkColor_);
    else if (name == L"hottextcolor") color(hotTextColor_);
    else if (name == L"pushedtextcolor") color(pushedTextColor_);
    else if (name == L"focusedtextcolor") color(focusedTextColor_);
    else CLabel::SetAttribute(name, value);
}

void CButton::SetEnabled(bool enabled) {
    if (!enabled) hot_ = pushed_ = pressing_ = false;
    CLabel::SetEnabled(enabled);
}

bool CButton::Activate() {
    if (!IsEnabled() || !IsVisible()) return false;
    if (manager_) manager_->SendNotify(this, L"click");
    return true;
}

void CButton::DoEvent(ControlEvent& event) {
    if (!IsEnabled() && event.type != EventType::Timer) {
        return;
    }
    switch (event.type) {
    case EventType::MouseEnter:
        hot_ = true;
        Invalidate();
        return;
    case EventType::MouseLeave:
        hot_ = false;
        pushed_ = false;
        Invalidate();
        return;
    case EventType::ButtonDown:
    case EventType::DoubleClick:
        pressing_ = pushed_ = true;
        Invalidate();
        return;
    case EventType::MouseMove:
        if (pressing_) {
            const bool inside = pos_.Contains(event.mouse);
            if (inside != pushed_) {
                pushed_ = inside;
                Invalidate();
            }
        }
        return;
    case EventType::ButtonUp: {
        const bool click = pressing_ && pos_.Contains(event.mouse);
        pressing_ = pushed_ = false;
        hot_ = pos_.Contains(event.mouse);
        Invalidate();
        if (click) Activate();
        return;
    }
    case EventType::KeyDown:
        if (event.wParam == VK_SPACE) {
            Activate();
            return;
        }
        break;
    default:
        break;
    }
    CLabel::DoEvent(event);
}

void CButton::PaintBkColor(cairo_t* cr) {
    std::uint32_t color = bkColor_;
    if (!IsEnabled() && disabledBkColor_) color = disabledBkColor_;
    else if (pushed_ && pushedBkColor_) color = pushedBkColor_;
    else if (hot_ && hotBkColor_) color = hotBkColor_;
    if (borderRound_.cx > 0 && borderRound_.cy > 0) RenderEngine::FillRoundRect(cr, pos_, borderRound_, color);
    else RenderEngine::FillRect(cr, pos_, color);
}

void CButton::PaintStatusImage(cairo_t* cr) {
    // Each state falls back to the normal image when its own image is missing.
    if (!IsEnabled()) {
        if (DrawImage(cr, disabledImage_)) return;
    } else if (pushed_) {
        if (DrawImage(cr, pushedImage_)) return;
        if (DrawImage(cr, hotImage_)) return;
    } else if (hot_) {
        if (DrawImage(cr, hotImage_)) return;
    } else if (IsFocused()) {
        if (DrawImage(cr, focusedImage_)) return;
    }
    DrawImage(cr, normalImage_);
}

void CButton::PaintText(cairo_t* cr) {
    std::uint32_t color = textColor_;
    if (!IsEnabled()) color = disabledTextColor_;
    else if (pushed_ && pushedTextColor_) color = pushedTextColor_;
    else if (hot_ && hotTextColor_) color = hotTextColor_;
    else if (IsFocused() && focusedTextColor_) color = focusedTextColor_;
    DrawLabelText(cr, color);
}

}  // namespace Framework
