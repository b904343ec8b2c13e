#include "framework/combo.h"

#include <algorithm>

#include "framework/attribute_values.h"
#include "framework/paint_manager.h"
#include "framework/render_engine.h"

namespace Framework {

namespace {
constexpr int kItemPaddingX = 6;
constexpr int kMostVisibleItems = 10;
}  // namespace

CCombo::CCombo() {
    textStyle_ = DT_SINGLELINE | DT_VCENTER;
    textPadding_ = {kItemPaddingX, 0, kItemPaddingX, 0};
    borderSize_ = 1;
    borderColor_ = 0xFFB0B0B0u;
    bkColor_ = 0xFFFFFFFFu;
}

std::wstring_view CCombo::GetClass() const { return L"Combo"; }

void* CCombo::GetInterface(std::wstring_view name) {
    if (name == L"Combo") return this;
    return CLabel::GetInterface(name);
}

void CCombo::SetAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"items") {
        // "a|b|c": a compact item list for layouts without child elements.
        std::size_t start = 0;
        while (start <= value.size()) {
            const std::size_t bar = value.find(L'|', start);
            const std::size_t end = bar == std::wstring_view::npos ? value.size() : bar;
            AddItem(std::wstring(value.substr(start, end - start)));
            if (bar == std::wstring_view::npos) break;
            start = bar + 1;
        }
    } else if (name == L"selectedid" || name == L"cursel") {
        if (auto v = ParseInteger(value)) SelectItem(*v, false);
    } else if (name == L"itembkcolor") {
        if (auto c = ParseColor(value)) listBkColor_ = *c;
    } else if (name == L"itemhotbkcolor") {
        if (auto c = ParseColor(value)) listHotColor_ = *c;
    } else {
        CLabel::SetAttribute(name, value);
    }
}

std::wstring CCombo::GetText() const { return GetItemText(current_); }

void CCombo::AddItem(std::wstring text) {
    items_.push_back(std::move(text));
    Invalidate();
}

void CCombo::RemoveAllItems() {
    CloseDropList();
    items_.clear();
    current_ = -1;
    Invalidate();
}

std::wstring CCombo::GetItemText(int index) const {
    if (index < 0 || index >= GetItemCount()) return {};
    return items_[static_cast<std::size_t>(index)];
}

bool CCombo::SelectItem(int index, bool notify) {
    if (index < -1 || index >= GetItemCount()) return false;
    if (index == current_) return true;
    const int old = current_;
    current_ = index;
    Invalidate();
    if (notify && manager_) manager_->SendNotify(this, L"itemselect", static_cast<WPARAM>(current_), old);
    return true;
}

int CCombo::ItemHeight() const {
    const int textHeight = manager_ ? RenderEngine::MeasureText(L"Ag", manager_->GetFont(font_), DT_SINGLELINE).cy : 16;
    return std::max(pos_.Height(), textHeight + 4);
}

Rect CCombo::GetDropRect() const {
    const int shown = std::min(GetItemCount(), kMostVisibleItems);
    Rect r{pos_.left, pos_.bottom, pos_.right, pos_.bottom + shown * ItemHeight() + 2};
    // Open upwards when the list would leave the window.
    if (manager_ && r.bottom > manager_->GetClientSize().cy && pos_.top - r.Height() >= 0) {
        r = {pos_.left, pos_.top - r.Height(), pos_.right, pos_.top};
    }
    return r;
}

int CCombo::ItemAt(Point point) const {
    const Rect r = GetDropRect();
    if (!r.Contains(point)) return -1;
    const int index = (point.y - r.top - 1) / ItemHeight();
    return index >= 0 && index < std::min(GetItemCount(), kMostVisibleItems) ? index : -1;
}

void CCombo::CloseDropList() {
    if (!dropped_) return;
    if (manager_) manager_->Invalidate(GetDropRect());
    dropped_ = false;
    hotItem_ = -1;
    if (manager_) manager_->SetDroppedCombo(nullptr);
}

void CCombo::DoEvent(ControlEvent& event) {
    if (!IsEnabled() && event.type != EventType::Timer) return;
    switch (event.type) {
    case EventType::ButtonDown:
        SetFocus();
        if (dropped_) {
            CloseDropList();
        } else if (!items_.empty() && manager_) {
            dropped_ = true;
            hotItem_ = current_;
            manager_->SetDroppedCombo(this);
            manager_->Invalidate(GetDropRect());
        }
        return;
    case EventType::MouseMove:
        if (dropped_) {
            const int item = ItemAt(event.mouse);
            if (item != hotItem_) {
                hotItem_ = item;
                if (manager_) manager_->Invalidate(GetDropRect());
            }
        }
        return;
    case EventType::KillFocus:
        CloseDropList();
        Invalidate();
        return;
    case EventType::KeyDown:
        if (event.wParam == VK_UP) {
            if (current_ > 0) SelectItem(current_ - 1);
            return;
        }
        if (event.wParam == VK_DOWN) {
            if (current_ + 1 < GetItemCount()) SelectItem(current_ + 1);
            return;
        }
        if (event.wParam == VK_ESCAPE && dropped_) {
            CloseDropList();
            return;
        }
        break;
    default:
        break;
    }
    CLabel::DoEvent(event);
}

void CCombo::PaintText(cairo_t* cr) {
    if (!manager_) return;
    const Rect area = pos_.Deflate(textPadding_);
    RenderEngine::DrawText(cr, area, GetText(), IsEnabled() ? textColor_ : disabledTextColor_, manager_->GetFont(font_),
                           textStyle_);
    // A small arrow shows that the control opens a list.
    const double cx = pos_.right - 10, cy = pos_.top + pos_.Height() / 2.0;
    cairo_move_to(cr, cx - 4, cy - 2);
    cairo_line_to(cr, cx + 4, cy - 2);
    cairo_line_to(cr, cx, cy + 3);
    cairo_close_path(cr);
    cairo_set_source_rgba(cr, 0.35, 0.35, 0.35, 1);
    cairo_fill(cr);
}

void CCombo::PaintBorder(cairo_t* cr) {
    RenderEngine::DrawBorder(cr, pos_, borderSize_, IsFocused() ? 0xFF1675FEu : borderColor_, borderRound_);
}

void CCombo::PaintDropList(cairo_t* cr) {
    if (!dropped_ || !manager_) return;
    const Rect r = GetDropRect();
    RenderEngine::FillRect(cr, r, listBkColor_);
    const int height = ItemHeight();
    const int shown = std::min(GetItemCount(), kMostVisibleItems);
    for (int i = 0; i < shown; ++i) {
        const Rect item{r.left + 1, r.top + 1 + i * height, r.right - 1, r.top + 1 + (i + 1) * height};
        if (i == hotItem_) RenderEngine::FillRect(cr, item, listHotColor_);
        RenderEngine::DrawText(cr, item.Deflate(textPadding_), items_[static_cast<std::size_t>(i)], textColor_,
                               manager_->GetFont(font_), DT_SINGLELINE | DT_VCENTER);
    }
    RenderEngine::DrawBorder(cr, r, 1, borderColor_, {});
}

}  // namespace Framework
