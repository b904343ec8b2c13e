#include "framework/container.h"

#include <algorithm>

#include "framework/attribute_values.h"
#include "framework/paint_manager.h"

namespace Framework {

namespace {

struct Slot {
    CControl* control;
    Size wanted;
};

// Positions are summed in 64 bits and kept within this bound, so a layout with many
// huge fixed sizes cannot overflow the arithmetic.
constexpr long long kFarthest = 1 << 28;

int Clamp(long long v) { return static_cast<int>(std::clamp(v, -kFarthest, kFarthest)); }

// The direction a stack lays its children along ("main"); across it ("cross") each child
// keeps its own size or fills the stack. Reads and builds sizes and rectangles in those terms.
struct StackAxis {
    bool vertical;

    int Main(Size s) const { return vertical ? s.cy : s.cx; }
    int Cross(Size s) const { return vertical ? s.cx : s.cy; }
    int MainStart(const Rect& r) const { return vertical ? r.top : r.left; }
    int MainEnd(const Rect& r) const { return vertical ? r.bottom : r.right; }
    int CrossStart(const Rect& r) const { return vertical ? r.left : r.top; }
    int CrossEnd(const Rect& r) const { return vertical ? r.right : r.bottom; }
    Rect Place(int mainStart, int mainEnd, int crossStart, int crossEnd) const {
        return vertical ? Rect{crossStart, mainStart, crossEnd, mainEnd} : Rect{mainStart, crossStart, mainEnd, crossEnd};
    }
};

constexpr StackAxis kTopToBottom{true};
constexpr StackAxis kLeftToRight{false};

// One pass of a stack: fixed-size children keep their length along the axis, the others
// share what is left equally (the last takes the rounding rest). Floating and invisible
// children take no space.
void LayOutStack(const std::vector<std::unique_ptr<CControl>>& items, const Rect& inner, int childPadding,
                 StackAxis axis) {
    const Size available{inner.Width(), inner.Height()};
    long long fixedTotal = 0;
    int flexible = 0, visibleCount = 0;
    std::vector<Slot> slots;
    for (auto& item : items) {
        if (!item->IsVisible() || item->IsFloat()) continue;
        Size wanted = item->EstimateSize(available);
        const Rect& pad = item->GetPadding();
        if (axis.Main(wanted) <= 0) ++flexible; else fixedTotal += axis.Main(wanted);
        fixedTotal += axis.MainStart(pad) + axis.MainEnd(pad);
        ++visibleCount;
        slots.push_back({item.get(), wanted});
    }
    if (visibleCount > 1) fixedTotal += childPadding * (visibleCount - 1);
    const int rest = Clamp(std::max(0LL, axis.Main(available) - fixedTotal));
    const int share = flexible ? rest / flexible : 0;
    int leftover = flexible ? rest - share * flexible : 0;
    long long at = axis.MainStart(inner);
    int flexibleSeen = 0;
    for (const Slot& slot : slots) {
        const Rect& pad = slot.control->GetPadding();
        int length = axis.Main(slot.wanted);
        if (length <= 0) {
            length = share;
            if (++flexibleSeen == flexible) length += leftover, leftover = 0;
        }
        const int crossRoom = axis.Cross(available) - axis.CrossStart(pad) - axis.CrossEnd(pad);
        int thickness = axis.Cross(slot.wanted) > 0 ? axis.Cross(slot.wanted) : crossRoom;
        thickness = std::max(0, std::min(thickness, crossRoom));
        at += axis.MainStart(pad);
        const int crossStart = axis.CrossStart(inner) + axis.CrossStart(pad);
        slot.control->SetPos(axis.Place(Clamp(at), Clamp(at + length), crossStart, crossStart + thickness));
        at += static_cast<long long>(length) + axis.MainEnd(pad) + childPadding;
    }
}

}  // namespace

std::wstring_view CContainer::GetClass() const { return L"Container"; }

void* CContainer::GetInterface(std::wstring_view name) {
    if (name == L"Container") return this;
    return CControl::GetInterface(name);
}

CControl* CContainer::GetItemAt(int index) const {
    if (index < 0 || index >= GetCount()) return nullptr;
    return items_[static_cast<std::size_t>(index)].get();
}

int CContainer::GetItemIndex(const CControl* control) const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].get() == control) return static_cast<int>(i);
    }
    return -1;
}

bool CContainer::Add(std::unique_ptr<CControl> control) { return AddAt(std::move(control), GetCount()); }

bool CContainer::AddAt(std::unique_ptr<CControl> control, int index) {
    if (!control || index < 0 || index > GetCount()) return false;
    CControl* raw = control.get();
    items_.insert(items_.begin() + index, std::move(control));
    if (manager_) raw->SetManager(manager_, this, true); else raw->SetManager(nullptr, this, false);
    NeedUpdate();
    return true;
}

bool CContainer::Remove(CControl* control) {
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        if (it->get() == control) {
            items_.erase(it);  // the destructor reaps timers, focus and notifications
            NeedUpdate();
            return true;
        }
    }
    return false;
}

void CContainer::RemoveAll() {
    items_.clear();
    NeedUpdate();
}

void CContainer::SetManager(CPaintManager* manager, CControl* parent, bool init) {
    for (auto& item : items_) item->SetManager(manager, this, init);
    CControl::SetManager(manager, parent, init);
}

void CContainer::SetInternVisible(bool visible) {
    CControl::SetInternVisible(visible);
    for (auto& item : items_) item->SetInternVisible(visible);
}

void CContainer::SetInset(const Rect& inset) {
    inset_ = inset;
    NeedUpdate();
}

void CContainer::SetAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"inset") {
        if (auto r = ParseRect(value)) SetInset(*r);
    } else if (name == L"childpadding") {
        if (auto v = ParseInteger(value); v && *v >= 0) {
            childPadding_ = *v;
            NeedUpdate();
        }
    } else {
        CControl::SetAttribute(name, value);
    }
}

void CContainer::SetFloatPos(CControl* child) {
    const Rect& f = child->GetFloatPos();
    Rect r = f.Offset(pos_.left, pos_.top);
    child->SetPos(r);
}

void CContainer::SetPos(const Rect& rect) {
    CControl::SetPos(rect);
    const Rect inner = pos_.Deflate(inset_);
    for (auto& item : items_) {
        if (!item->IsVisible()) continue;
        if (item->IsFloat()) {
            SetFloatPos(item.get());
            continue;
        }
        item->SetPos(inner.Deflate(item->GetPadding()));
    }
}

void CContainer::DoPaint(cairo_t* cr, const Rect& paint) {
    const Rect area = pos_.Intersect(paint);
    if (area.IsEmpty()) return;
    CControl::DoPaint(cr, paint);
    cairo_save(cr);
    cairo_rectangle(cr, area.left, area.top, area.Width(), area.Height());
    cairo_clip(cr);
    for (auto& item : items_) {
        if (!item->IsVisible()) continue;
        item->DoPaint(cr, area);
    }
    cairo_restore(cr);
}

CControl* CContainer::FindControl(std::wstring_view name) {
    if (name_ == name) return this;
    for (auto& item : items_) {
        if (CControl* found = item->FindControl(name)) return found;
    }
    return nullptr;
}

CControl* CContainer::FindControlAt(Point point) {
    if (!IsVisible() || !pos_.Contains(point)) return nullptr;
    // Later children paint over earlier ones, so they are asked first.
    CControl* fallback = nullptr;
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
        CControl* found = (*it)->FindControlAt(point);
        if (!found) continue;
        if (found->WantsMouse()) return found;
        if (!fallback) fallback = found;
    }
    return fallback ? fallback : this;
}

// ---- stacks ----

std::wstring_view CVerticalLayout::GetClass() const { return L"VerticalLayout"; }

void* CVerticalLayout::GetInterface(std::wstring_view name) {
    if (name == L"VerticalLayout") return this;
    return CContainer::GetInterface(name);
}

void CVerticalLayout::SetPos(const Rect& rect) {
    CControl::SetPos(rect);
    LayOutStack(items_, pos_.Deflate(inset_), childPadding_, kTopToBottom);
    for (auto& item : items_) {
        if (item->IsVisible() && item->IsFloat()) SetFloatPos(item.get());
    }
}

std::wstring_view CHorizontalLayout::GetClass() const { return L"HorizontalLayout"; }

void* CHorizontalLayout::GetInterface(std::wstring_view name) {
    if (name == L"HorizontalLayout") return this;
    return CContainer::GetInterface(name);
}

void CHorizontalLayout::SetPos(const Rect& rect) {
    CControl::SetPos(rect);
    LayOutStack(items_, pos_.Deflate(inset_), childPadding_, kLeftToRight);
    for (auto& item : items_) {
        if (item->IsVisible() && item->IsFloat()) SetFloatPos(item.get());
    }
}

// ---- tab layout ----

std::wstring_view CTabLayout::GetClass() const { return L"TabLayout"; }

void* CTabLayout::GetInterface(std::wstring_view name) {
    if (name == L"TabLayout") return this;
    return CContainer::GetInterface(name);
}

void CTabLayout::SetAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"selectedid") {
        if (auto v = ParseInteger(value); v && *v >= 0) current_ = *v;
    } else {
        CContainer::SetAttribute(name, value);
    }
}

void CTabLayout::SetManager(CPaintManager* manager, CControl* parent, bool init) {
    CContainer::SetManager(manager, parent, init);
    ApplyPageVisibility();
}

void CTabLayout::ApplyPageVisibility() {
    if (current_ >= GetCount()) current_ = GetCount() > 0 ? 0 : current_;
    for (int i = 0; i < GetCount(); ++i) items_[static_cast<std::size_t>(i)]->SetInternVisible(internVisible_ && i == current_);
}

void CTabLayout::SetInternVisible(bool visible) {
    CControl::SetInternVisible(visible);
    ApplyPageVisibility();
}

void CTabLayout::SetPos(const Rect& rect) {
    CControl::SetPos(rect);
    ApplyPageVisibility();
    const Rect inner = pos_.Deflate(inset_);
    for (auto& item : items_) {
        if (!item->IsVisible()) continue;
        item->SetPos(inner.Deflate(item->GetPadding()));
    }
}

bool CTabLayout::SelectItem(int index, bool notify) {
    if (index < 0 || index >= GetCount()) return false;
    if (index == current_) return true;
    const int old = current_;
    current_ = index;
    ApplyPageVisibility();
    NeedUpdate();
    Invalidate();
    if (notify && manager_) manager_->SendNotify(this, L"tabselect", static_cast<WPARAM>(current_), old);
    return true;
}

bool CTabLayout::SelectItem(CControl* control, bool notify) {
    const int index = GetItemIndex(control);
    return index >= 0 && SelectItem(index, notify);
}

}  // namespace Framework
