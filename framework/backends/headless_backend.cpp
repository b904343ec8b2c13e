#include "framework/backends/headless_backend.h"

#include "framework/backends/wakeup_event.h"
#include "framework/message_loop.h"

namespace Framework {

std::unique_ptr<Backend> CreateHeadlessBackend() { return std::make_unique<HeadlessBackend>(); }

HeadlessBackend::HeadlessBackend() = default;

HeadlessBackend::~HeadlessBackend() {
    for (auto& [hwnd, state] : windows_) {
        if (state.screen) cairo_surface_destroy(state.screen);
    }
}

HeadlessBackend* HeadlessBackend::Current() {
    Backend* backend = MessageLoop::Instance().GetBackend();
    return backend && backend->Name() == L"headless" ? static_cast<HeadlessBackend*>(backend) : nullptr;
}

bool HeadlessBackend::CreateNativeWindow(const NativeWindowRequest& request) {
    WindowState state;
    state.request = request;
    state.rect = request.rect;
    windows_[request.hwnd] = state;
    native_[request.hwnd] = nextNative_++;
    return true;
}

void HeadlessBackend::DestroyNativeWindow(HWND hwnd) {
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return;
    if (it->second.screen) cairo_surface_destroy(it->second.screen);
    windows_.erase(it);
    native_.erase(hwnd);
    std::erase_if(pending_, [&](const Message& m) { return m.hwnd == hwnd; });
    if (active_ == hwnd) active_ = 0;
}

void HeadlessBackend::SetTitle(HWND hwnd, std::wstring_view title) {
    if (auto it = windows_.find(hwnd); it != windows_.end()) it->second.request.title.assign(title);
}

void HeadlessBackend::SetStyle(HWND hwnd, std::uint32_t style, std::uint32_t exStyle) {
    if (auto it = windows_.find(hwnd); it != windows_.end()) {
        it->second.request.style = style;
        it->second.request.exStyle = exStyle;
    }
}

void HeadlessBackend::Show(HWND hwnd, bool show, bool activate) {
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return;
    it->second.visible = show;
    if (show) it->second.minimized = false;
    if (show && activate) Activate(hwnd);
    if (!show && active_ == hwnd) active_ = 0;
}

void HeadlessBackend::Minimize(HWND hwnd) {
    if (auto it = windows_.find(hwnd); it != windows_.end()) it->second.minimized = true;
}

void HeadlessBackend::Activate(HWND hwnd) {
    if (active_ == hwnd || !windows_.count(hwnd)) return;
    const HWND old = active_;
    active_ = hwnd;
    if (old) {
        pending_.push_back({old, WM_ACTIVATE, WA_INACTIVE, 0});
        pending_.push_back({old, WM_KILLFOCUS, 0, 0});
    }
    pending_.push_back({hwnd, WM_ACTIVATE, WA_ACTIVE, 0});
    pending_.push_back({hwnd, WM_SETFOCUS, 0, 0});
}

void HeadlessBackend::SetWindowRect(HWND hwnd, const Rect& rect) {
    if (auto it = windows_.find(hwnd); it != windows_.end()) it->second.rect = rect;
}

Rect HeadlessBackend::GetWindowRect(HWND hwnd) const {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? Rect{} : it->second.rect;
}

Rect HeadlessBackend::GetWorkArea(const Rect&) const { return workArea_; }

void HeadlessBackend::SetRoundCorner(HWND hwnd, Size round) {
    if (auto it = windows_.find(hwnd); it != windows_.end()) it->second.roundCorner = round;
}

void HeadlessBackend::SetClickThrough(HWND hwnd, bool clickThrough) {
    if (auto it = windows_.find(hwnd); it != windows_.end()) it->second.clickThrough = clickThrough;
}

void HeadlessBackend::Present(HWND hwnd, cairo_surface_t* backBuffer, const Rect& dirty) {
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return;
    WindowState& state = it->second;
    const int w = cairo_image_surface_get_width(backBuffer);
    const int h = cairo_image_surface_get_height(backBuffer);
    if (!state.screen || cairo_image_surface_get_width(state.screen) != w ||
        cairo_image_surface_get_height(state.screen) != h) {
        if (state.screen) cairo_surface_destroy(state.screen);
        state.screen = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    }
    cairo_t* cr = cairo_create(state.screen);
    cairo_rectangle(cr, dirty.left, dirty.top, dirty.Width(), dirty.Height());
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, backBuffer, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(state.screen);
    ++state.presents;
    state.lastDirty = dirty;
}

void HeadlessBackend::BeginMoveDrag(HWND hwnd, Point screenPoint) {
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return;
    ++it->second.moveDrags;
    it->second.lastDragPoint = screenPoint;
}

void HeadlessBackend::RequestClipboardText(HWND hwnd) {
    // Answered through the queue like the X11 selection owner's reply.
    MessageLoop::Instance().PostMessage(hwnd, kMessageClipboardText, 0,
                                        reinterpret_cast<LPARAM>(new std::wstring(clipboard_)));
}

void HeadlessBackend::SetClipboardText(HWND, std::wstring_view text) { clipboard_.assign(text); }

void HeadlessBackend::SetIcon(HWND hwnd, cairo_surface_t*) {
    if (auto it = windows_.find(hwnd); it != windows_.end()) it->second.hasIcon = true;
}

std::uint64_t HeadlessBackend::NativeHandle(HWND hwnd) const {
    auto it = native_.find(hwnd);
    return it == native_.end() ? 0 : it->second;
}

void HeadlessBackend::CollectEvents(std::deque<Message>& out) {
    while (!pending_.empty()) {
        out.push_back(pending_.front());
        pending_.pop_front();
    }
}

void HeadlessBackend::Wait(int timeoutMs, int wakeFd) {
    if (!pending_.empty()) return;
    WaitReadable(wakeFd, -1, timeoutMs);
}

const HeadlessBackend::WindowState* HeadlessBackend::State(HWND hwnd) const {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : &it->second;
}

void HeadlessBackend::Inject(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    pending_.push_back({hwnd, message, wParam, lParam});
}

void HeadlessBackend::InjectMouseMove(HWND hwnd, int x, int y) { Inject(hwnd, WM_MOUSEMOVE, 0, MakePointParam(x, y)); }

void HeadlessBackend::InjectClick(HWND hwnd, int x, int y) {
    InjectMouseMove(hwnd, x, y);
    Inject(hwnd, WM_LBUTTONDOWN, 0, MakePointParam(x, y));
    Inject(hwnd, WM_LBUTTONUP, 0, MakePointParam(x, y));
}

void HeadlessBackend::InjectKey(HWND hwnd, WPARAM key, LPARAM modifiers) {
    Inject(hwnd, WM_KEYDOWN, key, modifiers);
    Inject(hwnd, WM_KEYUP, key, modifiers);
}

void HeadlessBackend::InjectText(HWND hwnd, std::wstring_view text) {
    for (wchar_t c : text) Inject(hwnd, WM_CHAR, static_cast<WPARAM>(c), 0);
}

void HeadlessBackend::InjectCloseRequest(HWND hwnd) { Inject(hwnd, WM_CLOSE, 0, 0); }

std::uint32_t HeadlessBackend::PixelAt(HWND hwnd, int x, int y) const {
    const WindowState* state = State(hwnd);
    if (!state || !state->screen) return 0;
    const int w = cairo_image_surface_get_width(state->screen);
    const int h = cairo_image_surface_get_height(state->screen);
    if (x < 0 || y < 0 || x >= w || y >= h) return 0;
    const unsigned char* data = cairo_image_surface_get_data(state->screen);
    const int stride = cairo_image_surface_get_stride(state->screen);
    return reinterpret_cast<const std::uint32_t*>(data + y * stride)[x];
}

}  // namespace Framework
