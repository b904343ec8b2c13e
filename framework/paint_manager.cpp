#include "framework/paint_manager.h"

#include <algorithm>

#include "framework/combo.h"
#include "framework/message_loop.h"
#include "platform/clock.h"

namespace Framework {

namespace {

// Control timers use window timer ids from here on, so they never meet the small ids
// that window code gives its own timers.
constexpr UINT kControlTimerBase = 0x10000000;

// Tells `control` of something that happened to it (focus, hover, pointer moves).
void Deliver(CControl* control, EventType type, Point mouse = {}) {
    ControlEvent event;
    event.type = type;
    event.sender = control;
    event.mouse = mouse;
    control->DoEvent(event);
}

// Moves a role the window tracks (focus, hot) from its holder to `control`: the old
// holder hears `leave` first, and `control` hears `enter` only when no handler of
// `leave` has moved the role again or destroyed `control` (which clears the holder).
void HandOver(CControl*& holder, CControl* control, EventType leave, EventType enter, Point mouse) {
    if (control == holder) return;
    CControl* old = holder;
    holder = control;
    if (old) Deliver(old, leave, mouse);
    if (holder && holder == control) Deliver(holder, enter, mouse);
}

}  // namespace

CPaintManager::CPaintManager() = default;

CPaintManager::~CPaintManager() {
    DetachDialog();
    if (backBuffer_) cairo_surface_destroy(backBuffer_);
}

void CPaintManager::Init(HWND hwnd) { hwnd_ = hwnd; }

void CPaintManager::AttachDialog(std::unique_ptr<CControl> root) {
    DetachDialog();
    root_ = std::move(root);
    if (!root_) return;
    root_->SetManager(this, nullptr, true);
    NeedUpdate();
}

void CPaintManager::DetachDialog() {
    // Destroying the tree reaps each control's timers and notifications.
    root_.reset();
    for (const Timer& t : timers_) MessageLoop::Instance().KillTimer(hwnd_, t.systemId);
    timers_.clear();
    asyncNotifications_.clear();
    focus_ = hot_ = captured_ = nullptr;
    droppedCombo_ = nullptr;
}

void CPaintManager::StopWindow() {
    for (const Timer& t : timers_) MessageLoop::Instance().KillTimer(hwnd_, t.systemId);
    timers_.clear();
    asyncNotifications_.clear();
    captured_ = hot_ = nullptr;
    droppedCombo_ = nullptr;
    hwnd_ = 0;
}

void CPaintManager::SetWindowAttribute(std::wstring name, std::wstring value) {
    windowAttributes_[std::move(name)] = std::move(value);
}

const std::wstring* CPaintManager::GetWindowAttribute(std::wstring_view name) const {
    auto it = windowAttributes_.find(name);
    return it == windowAttributes_.end() ? nullptr : &it->second;
}

void CPaintManager::AddFont(int id, const FontSpec& font, bool isDefault) {
    if (id >= 0) fonts_[id] = font;
    if (isDefault) defaultFont_ = font;
    Invalidate();
}

const FontSpec& CPaintManager::GetFont(int id) const {
    auto it = fonts_.find(id);
    return it == fonts_.end() ? defaultFont_ : it->second;
}

Size CPaintManager::MeasureText(std::wstring_view text, int fontId, UINT style, int width) const {
    return RenderEngine::MeasureText(text, GetFont(fontId), style, width);
}

void CPaintManager::AddNotifier(INotifyUI* notifier) {
    if (std::find(notifiers_.begin(), notifiers_.end(), notifier) == notifiers_.end()) notifiers_.push_back(notifier);
}

void CPaintManager::RemoveNotifier(INotifyUI* notifier) { std::erase(notifiers_, notifier); }

void CPaintManager::SendNotify(CControl* sender, std::wstring_view type, WPARAM wParam, LPARAM lParam, bool async) {
    TNotifyUI msg;
    msg.sType.assign(type);
    msg.pSender = sender;
    msg.wParam = wParam;
    msg.lParam = lParam;
    SendNotify(msg, async);
}

void CPaintManager::SendNotify(TNotifyUI& msg, bool async) {
    if (!msg.pSender) msg.pSender = root_.get();
    msg.dwTimestamp = Platform::GetTickCount();
    if (async) {
        if (!hwnd_) return;  // the window is gone; nobody would receive it
        asyncNotifications_.push_back(msg);
        if (!asyncPosted_) {
            asyncPosted_ = MessageLoop::Instance().PostMessage(hwnd_, kMessageAsyncNotify, 0, 0);
        }
        return;
    }
    // A copy: a handler may add or remove notifiers.
    const std::vector<INotifyUI*> notifiers = notifiers_;
    for (INotifyUI* notifier : notifiers) notifier->Notify(msg);
}

void CPaintManager::DeliverAsyncNotifications() {
    asyncPosted_ = false;
    while (!asyncNotifications_.empty()) {
        TNotifyUI msg = asyncNotifications_.front();
        asyncNotifications_.pop_front();
        const std::vector<INotifyUI*> notifiers = notifiers_;
        for (INotifyUI* notifier : notifiers) notifier->Notify(msg);
    }
}

bool CPaintManager::SetTimer(CControl* control, UINT id, UINT elapse) {
    if (!control || !hwnd_) return false;
    if (HasTimer(control, id)) return true;
    const UINT systemId = kControlTimerBase + (nextTimerId_++ & 0x0FFFFFFF);
    timers_.push_back({control, id, systemId});
    MessageLoop::Instance().SetTimer(hwnd_, systemId, elapse);
    return true;
}

bool CPaintManager::KillTimer(CControl* control, UINT id) {
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->control == control && it->id == id) {
            MessageLoop::Instance().KillTimer(hwnd_, it->systemId);
            timers_.erase(it);
            return true;
        }
    }
    return false;
}

void CPaintManager::KillTimers(CControl* control) {
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->control == control) {
            MessageLoop::Instance().KillTimer(hwnd_, it->systemId);
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
}

bool CPaintManager::HasTimer(CControl* control, UINT id) const {
    return std::any_of(timers_.begin(), timers_.end(),
                       [&](const Timer& t) { return t.control == control && t.id == id; });
}

void CPaintManager::SetFocus(CControl* control) {
    if (control && (!control->IsVisible() || !control->IsEnabled())) return;
    HandOver(focus_, control, EventType::KillFocus, EventType::SetFocus, {});
}

void CPaintManager::SetDroppedCombo(CCombo* combo) { droppedCombo_ = combo; }

void CPaintManager::ReapObjects(CControl* control) {
    if (focus_ == control) focus_ = nullptr;
    if (hot_ == control) hot_ = nullptr;
    if (captured_ == control) captured_ = nullptr;
    if (droppedCombo_ && static_cast<CControl*>(droppedCombo_) == control) droppedCombo_ = nullptr;
    KillTimers(control);
    std::erase_if(asyncNotifications_, [&](const TNotifyUI& n) { return n.pSender == control; });
}

void CPaintManager::Invalidate(const Rect& rect) {
    const Rect r = rect.Intersect({0, 0, clientSize_.cx, clientSize_.cy});
    if (r.IsEmpty()) return;
    invalid_ = invalid_.Union(r);
    if (hwnd_) MessageLoop::Instance().RequestPaint(hwnd_);
}

void CPaintManager::Invalidate() { Invalidate({0, 0, clientSize_.cx, clientSize_.cy}); }

void CPaintManager::NeedUpdate() {
    updateNeeded_ = true;
    if (hwnd_) MessageLoop::Instance().RequestPaint(hwnd_);
}

void CPaintManager::UpdateLayout() {
    if (!updateNeeded_) return;
    updateNeeded_ = false;
    if (root_) root_->SetPos({0, 0, clientSize_.cx, clientSize_.cy});
    // Controls that moved have invalidated their old and new places; the whole
    // window is repainted after a layout pass anyway, which is cheaper than tracking.
    Invalidate();
}

void CPaintManager::ResizeBackBuffer(Size size) {
    if (backBuffer_ && cairo_image_surface_get_width(backBuffer_) == size.cx &&
        cairo_image_surface_get_height(backBuffer_) == size.cy) {
        return;
    }
    if (backBuffer_) cairo_surface_destroy(backBuffer_);
    backBuffer_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(size.cx, 1), std::max(size.cy, 1));
    invalid_ = {0, 0, size.cx, size.cy};
}

void CPaintManager::Paint() {
    // A window without content (a layered companion) shows only what it is handed.
    if (!root_) {
        invalid_ = {};
        return;
    }
    if (clientSize_.cx <= 0 || clientSize_.cy <= 0) return;
    UpdateLayout();
    ResizeBackBuffer(clientSize_);
    const Rect dirty = invalid_.Intersect({0, 0, clientSize_.cx, clientSize_.cy});
    invalid_ = {};
    if (dirty.IsEmpty()) return;
    cairo_t* cr = cairo_create(backBuffer_);
    cairo_rectangle(cr, dirty.left, dirty.top, dirty.Width(), dirty.Height());
    cairo_clip(cr);
    // Start from transparent: windows with per-pixel alpha show what the skin leaves open.
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    if (root_ && root_->IsVisible()) root_->DoPaint(cr, dirty);
    if (droppedCombo_) droppedCombo_->PaintDropList(cr);
    cairo_destroy(cr);
    cairo_surface_flush(backBuffer_);
    if (Backend* backend = MessageLoop::Instance().GetBackend()) backend->Present(hwnd_, backBuffer_, dirty);
}

cairo_surface_t* CPaintManager::RenderToNewSurface() {
    UpdateLayout();
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(clientSize_.cx, 1), std::max(clientSize_.cy, 1));
    cairo_t* cr = cairo_create(surface);
    const Rect all{0, 0, clientSize_.cx, clientSize_.cy};
    if (root_ && root_->IsVisible()) root_->DoPaint(cr, all);
    if (droppedCombo_) droppedCombo_->PaintDropList(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    return surface;
}

CControl* CPaintManager::FindControl(std::wstring_view name) const {
    return root_ ? root_->FindControl(name) : nullptr;
}

CControl* CPaintManager::FindControlAt(Point point) const {
    return root_ ? root_->FindControlAt(point) : nullptr;
}

bool CPaintManager::IsCaptionDrag(Point point) const {
    const Rect band{caption_.left, caption_.top, clientSize_.cx - caption_.right, caption_.bottom};
    if (!band.Contains(point)) return false;
    CControl* control = FindControlAt(point);
    return !(control && control->TakesPointerInCaption());
}

void CPaintManager::SetHot(CControl* control, Point mouse) {
    HandOver(hot_, control, EventType::MouseLeave, EventType::MouseEnter, mouse);
}

void CPaintManager::DispatchMouse(EventType type, Point point, LPARAM modifiers) {
    CControl* target = nullptr;
    if (type == EventType::ButtonDown || type == EventType::DoubleClick) {
        target = FindControlAt(point);
        if (!target || !target->WantsMouse() || !target->IsEnabled()) {
            // A press on nothing interactive takes the focus away from an edit.
            SetFocus(nullptr);
            return;
        }
        if (target->IsKeyboardTarget()) SetFocus(target);
        captured_ = target;
    } else {
        target = captured_;
        if (type == EventType::ButtonUp) captured_ = nullptr;
    }
    if (!target) return;
    ControlEvent event;
    event.type = type;
    event.sender = target;
    event.mouse = point;
    event.lParam = modifiers;
    event.timestamp = Platform::GetTickCount();
    target->DoEvent(event);
}

bool CPaintManager::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    // Input is hit-tested against the layout the user will see, even before it is painted.
    if (updateNeeded_ && ((message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL) || message == WM_KEYDOWN)) {
        UpdateLayout();
    }
    switch (message) {
    case WM_PAINT:
        Paint();
        return true;
    case WM_SIZE: {
        const Size size{static_cast<int>(lParam & 0xFFFF), static_cast<int>((lParam >> 16) & 0xFFFF)};
        if (wParam == SIZE_MINIMIZED) return false;
        if (size != clientSize_) {
            clientSize_ = size;
            NeedUpdate();
            Invalidate();
        }
        return false;
    }
    case WM_TIMER:
        for (const Timer& t : timers_) {
            if (t.systemId != wParam) continue;
            CControl* control = t.control;
            ControlEvent event;
            event.type = EventType::Timer;
            event.sender = control;
            event.wParam = t.id;
            event.timestamp = Platform::GetTickCount();
            control->DoEvent(event);
            return true;
        }
        return false;
    case kMessageExpose: {
        const LPARAM low = lParam & 0xFFFFFFFF, high = (lParam >> 32) & 0xFFFFFFFF;
        const Rect exposed{PointParamX(low), PointParamY(low), PointParamX(high), PointParamY(high)};
        // The back buffer still holds the picture: show it again without repainting.
        if (!root_) return true;  // content handed over by UpdateLayeredWindow is the caller's to show again
        if (backBuffer_ && !updateNeeded_ && invalid_.IsEmpty()) {
            const Rect r = exposed.Intersect({0, 0, clientSize_.cx, clientSize_.cy});
            if (Backend* backend = MessageLoop::Instance().GetBackend(); backend && !r.IsEmpty()) {
                backend->Present(hwnd_, backBuffer_, r);
            }
        } else {
            Invalidate(exposed);
        }
        return true;
    }
    case kMessageAsyncNotify:
        DeliverAsyncNotifications();
        return true;
    case kMessageClipboardText: {
        std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
        if (focus_ && text) {
            ControlEvent event;
            event.type = EventType::Paste;
            event.sender = focus_;
            event.text = *text;
            focus_->DoEvent(event);
        }
        return true;
    }
    case WM_MOUSEMOVE: {
        const Point point{PointParamX(lParam), PointParamY(lParam)};
        if (captured_) {
            DispatchMouse(EventType::MouseMove, point, static_cast<LPARAM>(wParam));
            return true;
        }
        if (droppedCombo_ && droppedCombo_->GetDropRect().Contains(point)) {
            Deliver(droppedCombo_, EventType::MouseMove, point);
            return true;
        }
        CControl* control = FindControlAt(point);
        if (control && (!control->WantsMouse() || !control->IsEnabled())) control = nullptr;
        SetHot(control, point);
        if (hot_) Deliver(hot_, EventType::MouseMove, point);
        return true;
    }
    case WM_MOUSELEAVE:
        if (!captured_) SetHot(nullptr, {-1, -1});
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const Point point{PointParamX(lParam), PointParamY(lParam)};
        if (droppedCombo_) {
            CCombo* combo = droppedCombo_;
            const int item = combo->ItemAt(point);
            if (combo->GetDropRect().Contains(point)) {
                combo->CloseDropList();
                if (item >= 0) combo->SelectItem(item, true);
                return true;
            }
            if (!combo->GetPos().Contains(point)) {
                // A press elsewhere closes the list and is used up by that.
                combo->CloseDropList();
                return true;
            }
        }
        if (IsCaptionDrag(point)) {
            if (Backend* backend = MessageLoop::Instance().GetBackend()) {
                const Rect window = backend->GetWindowRect(hwnd_);
                backend->BeginMoveDrag(hwnd_, {window.left + point.x, window.top + point.y});
            }
            return true;
        }
        DispatchMouse(message == WM_LBUTTONDOWN ? EventType::ButtonDown : EventType::DoubleClick, point,
                      static_cast<LPARAM>(wParam));
        return true;
    }
    case WM_LBUTTONUP:
        DispatchMouse(EventType::ButtonUp, {PointParamX(lParam), PointParamY(lParam)}, static_cast<LPARAM>(wParam));
        return true;
    case WM_KEYDOWN:
    case WM_CHAR: {
        const bool comboOpen = droppedCombo_ != nullptr;
        CControl* target = comboOpen ? droppedCombo_ : focus_;
        if (message == WM_KEYDOWN && wParam == VK_TAB) {
            // Tab moves the focus to the next control that takes keys, in tree order.
            std::vector<CControl*> order;
            std::vector<CControl*> stack{root_.get()};
            while (!stack.empty()) {
                CControl* c = stack.back();
                stack.pop_back();
                if (!c || !c->IsVisible()) continue;
                if (c->IsKeyboardTarget() && c->IsEnabled()) order.push_back(c);
                for (int i = c->GetCount() - 1; i >= 0; --i) stack.push_back(c->GetItemAt(i));
            }
            if (order.empty()) return true;
            auto it = std::find(order.begin(), order.end(), focus_);
            const bool back = (lParam & kKeyShift) != 0;
            std::size_t index = 0;
            if (it != order.end()) {
                const std::size_t at = static_cast<std::size_t>(it - order.begin());
                index = back ? (at + order.size() - 1) % order.size() : (at + 1) % order.size();
            }
            SetFocus(order[index]);
            return true;
        }
        if (!target) return false;
        ControlEvent event;
        event.type = message == WM_KEYDOWN ? EventType::KeyDown : EventType::Char;
        event.sender = target;
        event.wParam = wParam;
        event.lParam = lParam;
        event.timestamp = Platform::GetTickCount();
        target->DoEvent(event);
        // Enter and Esc still reach the window's default key response.
        return !(message == WM_KEYDOWN && (wParam == VK_RETURN || (wParam == VK_ESCAPE && !comboOpen)));
    }
    case WM_KILLFOCUS:
        if (captured_) {
            // The pointer went to another window mid-press: the press is abandoned.
            Deliver(captured_, EventType::MouseLeave);
            captured_ = nullptr;
        }
        if (droppedCombo_) droppedCombo_->CloseDropList();
        return false;
    default:
        return false;
    }
}

}  // namespace Framework
