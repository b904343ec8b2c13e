#include "framework/control.h"

#include "framework/attribute_values.h"
#include "framework/paint_manager.h"
#include "framework/render_engine.h"

namespace Framework {

CControl::CControl() = default;

CControl::~CControl() {
    if (manager_) manager_->ReapObjects(this);
}

std::wstring_view CControl::GetClass() const { return L"Control"; }

void* CControl::GetInterface(std::wstring_view name) {
    if (name == L"Control") return this;
    return nullptr;
}

void CControl::SetText(std::wstring text) {
    if (text_ == text) return;
    text_ = std::move(text);
    Invalidate();
}

void CControl::SetManager(CPaintManager* manager, CControl* parent, bool init) {
    manager_ = manager;
    parent_ = parent;
    if (init && manager_) DoInit();
}

void CControl::SetPos(const Rect& rect) {
    Rect r = rect;
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    if (r == pos_) return;
    Invalidate();
    pos_ = r;
    Invalidate();
}

void CControl::SetFixedWidth(int width) {
    if (width < 0 || width == fixedWidth_) return;
    fixedWidth_ = width;
    NeedParentUpdate();
}

void CControl::SetFixedHeight(int height) {
    if (height < 0 || height == fixedHeight_) return;
    fixedHeight_ = height;
    NeedParentUpdate();
}

void CControl::SetPadding(const Rect& padding) {
    padding_ = padding;
    NeedParentUpdate();
}

Size CControl::EstimateSize(Size) const { return {fixedWidth_, fixedHeight_}; }

void CControl::SetVisible(bool visible) {
    if (visible_ == visible) return;
    const bool wasVisible = IsVisible();
    visible_ = visible;
    if (!IsVisible() && manager_ && wasVisible) {
        // A hidden control must not keep the focus or the pointer.
        if (IsFocused()) manager_->SetFocus(nullptr);
    }
    NeedParentUpdate();
}

void CControl::SetInternVisible(bool visible) {
    internVisible_ = visible;
    if (!visible && manager_ && IsFocused()) manager_->SetFocus(nullptr);
}

void CControl::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    if (!enabled_ && manager_ && IsFocused()) manager_->SetFocus(nullptr);
    Invalidate();
}

bool CControl::IsFocused() const { return manager_ && manager_->GetFocus() == this; }

void CControl::SetFocus() {
    if (manager_) manager_->SetFocus(this);
}

void CControl::SetBkColor(std::uint32_t color) {
    if (bkColor_ == color) return;
    bkColor_ = color;
    Invalidate();
}

void CControl::SetBkImage(std::wstring image) {
    bkImageText_ = std::move(image);
    bkImage_ = ParseImageDescription(bkImageText_);
    Invalidate();
}

void CControl::SetBorderColor(std::uint32_t color) {
    borderColor_ = color;
    Invalidate();
}

void CControl::SetBorderSize(int size) {
    if (size < 0) return;
    borderSize_ = size;
    Invalidate();
}

void CControl::SetBorderRound(Size round) {
    if (round.cx < 0 || round.cy < 0) return;
    borderRound_ = round;
    Invalidate();
}

void CControl::SetAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"name") {
        name_.assign(value);
    } else if (name == L"text") {
        SetText(std::wstring(value));
    } else if (name == L"userdata") {
        userData_.assign(value);
    } else if (name == L"pos") {
        if (auto r = ParseRect(value)) {
            floatPos_ = *r;
            // For a control in a layout, pos only fixes its size.
            fixedWidth_ = std::max(0, r->right - r->left);
            fixedHeight_ = std::max(0, r->bottom - r->top);
            NeedParentUpdate();
        }
    } else if (name == L"float") {
        float_ = ParseBool(value);
    } else if (name == L"width") {
        if (auto v = ParseInteger(value); v && *v >= 0) SetFixedWidth(*v);
    } else if (name == L"height") {
        if (auto v = ParseInteger(value); v && *v >= 0) SetFixedHeight(*v);
    } else if (name == L"minwidth") {
        if (auto v = ParseInteger(value); v && *v >= 0) minWidth_ = *v;
    } else if (name == L"maxwidth") {
        if (auto v = ParseInteger(value); v && *v >= 0) maxWidth_ = *v;
    } else if (name == L"minheight") {
        if (auto v = ParseInteger(value); v && *v >= 0) minHeight_ = *v;
    } else if (name == L"maxheight") {
        if (auto v = ParseInteger(value); v && *v >= 0) maxHeight_ = *v;
    } else if (name == L"padding") {
        if (auto r = ParseRect(value)) SetPadding(*r);
    } else if (name == L"visible") {
        SetVisible(ParseBool(value));
    } else if (name == L"enabled") {
        SetEnabled(ParseBool(value));
    } else if (name == L"bkcolor") {
        if (auto c = ParseColor(value)) SetBkColor(*c);
    } else if (name == L"bkimage") {
        SetBkImage(std::wstring(value));
    } else if (name == L"bordercolor") {
        if (auto c = ParseColor(value)) SetBorderColor(*c);
    } else if (name == L"bordersize") {
        if (auto v = ParseInteger(value); v && *v >= 0) SetBorderSize(*v);
    } else if (name == L"borderround") {
        if (auto s = ParseSize(value)) SetBorderRound(*s);
    }
}

void CControl::DoPaint(cairo_t* cr, const Rect& paint) {
    if (pos_.Intersect(paint).IsEmpty()) return;
    cairo_save(cr);
    cairo_rectangle(cr, pos_.left, pos_.top, pos_.Width(), pos_.Height());
    cairo_clip(cr);
    PaintBkColor(cr);
    PaintBkImage(cr);
    PaintStatusImage(cr);
    PaintText(cr);
    PaintBorder(cr);
    cairo_restore(cr);
}

void CControl::PaintBkColor(cairo_t* cr) {
    if (borderRound_.cx > 0 && borderRound_.cy > 0) {
        RenderEngine::FillRoundRect(cr, pos_, borderRound_, bkColor_);
    } else {
        RenderEngine::FillRect(cr, pos_, bkColor_);
    }
}

void CControl::PaintBkImage(cairo_t* cr) {
    if (!bkImage_.file.empty()) DrawImage(cr, bkImage_);
}

void CControl::PaintBorder(cairo_t* cr) {
    RenderEngine::DrawBorder(cr, pos_, borderSize_, borderColor_, borderRound_);
}

bool CControl::DrawImage(cairo_t* cr, const ImageDescription& image) {
    if (image.file.empty()) return false;
    return RenderEngine::DrawImage(cr, pos_, image);
}

void CControl::DoEvent(ControlEvent& event) {
    if (event.type == EventType::Timer && manager_) {
        manager_->SendNotify(this, L"timer", event.wParam, event.lParam);
        return;
    }
    if (event.type == EventType::SetFocus || event.type == EventType::KillFocus) {
        Invalidate();
        return;
    }
    // Unhandled input bubbles up to the parent, as a container may react to it.
    if (parent_ && (event.type == EventType::KeyDown || event.type == EventType::Char)) parent_->DoEvent(event);
}

void CControl::Invalidate() {
    if (!manager_ || pos_.IsEmpty() || !IsVisible()) return;
    Rect r = pos_;
    for (CControl* p = parent_; p; p = p->parent_) {
        r = r.Intersect(p->pos_);
        if (r.IsEmpty()) return;
    }
    manager_->Invalidate(r);
}

void CControl::NeedParentUpdate() {
    if (!manager_) return;
    if (parent_) parent_->NeedUpdate(); else NeedUpdate();
}

void CControl::NeedUpdate() {
    if (manager_) manager_->NeedUpdate();
}

CControl* CControl::FindControl(std::wstring_view name) {
    return name_ == name ? this : nullptr;
}

CControl* CControl::FindControlAt(Point point) {
    return IsVisible() && pos_.Contains(point) ? this : nullptr;
}

}  // namespace Framework
