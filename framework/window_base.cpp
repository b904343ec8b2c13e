#include "framework/window_base.h"

#include <cstring>

#include "framework/layout_builder.h"
#include "framework/message_loop.h"
#include "framework/resource_manager.h"
#include "platform/clock.h"
#include "platform/text_encoding.h"
#include "support/debug_log.h"

namespace Framework {

namespace {

constexpr int kDefaultWidth = 400;
constexpr int kDefaultHeight = 300;
// How long PumpMessages dispatches before it reports that time has passed.
constexpr std::uint32_t kPumpMilliseconds = 100;

Backend* TheBackend() { return MessageLoop::Instance().GetBackend(); }

// Messages the framework handles itself before window code sees them in OnCustomMessage.
bool IsFrameworkMessage(UINT message) {
    switch (message) {
    case WM_CREATE: case WM_DESTROY: case WM_MOVE: case WM_SIZE: case WM_ACTIVATE: case WM_SETFOCUS:
    case WM_KILLFOCUS: case WM_ENABLE: case WM_PAINT: case WM_CLOSE: case WM_SHOWWINDOW: case WM_SETCURSOR:
    case WM_NCCREATE: case WM_NCDESTROY: case WM_NCHITTEST: case WM_NCPAINT: case WM_NCACTIVATE:
    case WM_KEYDOWN: case WM_KEYUP: case WM_CHAR: case WM_SYSKEYDOWN: case WM_SYSKEYUP: case WM_SYSCOMMAND:
    case WM_MOUSEMOVE: case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK: case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: case WM_MOUSEWHEEL: case WM_MOUSELEAVE: case WM_EXITSIZEMOVE:
    case kMessageAsyncNotify: case kMessageClipboardText: case kMessageExpose:
        return true;
    default:
        return false;
    }
}

}  // namespace

CWindowBase::CWindowBase() = default;

CWindowBase::~CWindowBase() {
    if (hwnd_) DestroyWindow();
}

HWND CWindowBase::Create(HWND owner, std::wstring_view title, std::uint32_t style, std::uint32_t exStyle, int x, int y,
                         int cx, int cy) {
    MessageLoop& loop = MessageLoop::Instance();
    if (hwnd_) return hwnd_;
    if (!loop.IsInitialized()) {
        layoutError_ = L"the window framework is not initialised";
        return 0;
    }
    owner_ = loop.IsWindow(owner) ? owner : 0;
    style_ = style;
    exStyle_ = exStyle;
    title_.assign(title);
    layoutError_.clear();
    hwnd_ = loop.RegisterWindow(this);
    paintManager_.Init(hwnd_);

    NativeWindowRequest request;
    request.hwnd = hwnd_;
    request.owner = owner_;
    request.className = GetWindowClassName();
    request.title = title_;
    request.style = style_ & ~WS_VISIBLE;
    request.exStyle = exStyle_;
    const int width = cx == CW_USEDEFAULT || cx <= 0 ? kDefaultWidth : cx;
    const int height = cy == CW_USEDEFAULT || cy <= 0 ? kDefaultHeight : cy;
    const Rect work = TheBackend()->GetWorkArea({0, 0, width, height});
    const int left = x == CW_USEDEFAULT ? work.left + (work.Width() - width) / 2 : x;
    const int top = y == CW_USEDEFAULT ? work.top + (work.Height() - height) / 2 : y;
    request.rect = {left, top, left + width, top + height};
    if (!TheBackend()->CreateNativeWindow(request)) {
        LOG(L"CWindowBase::Create", L"the native window for %s cannot be created\r\n", request.className.c_str());
        loop.UnregisterWindow(hwnd_);
        hwnd_ = 0;
        paintManager_.Init(0);
        return 0;
    }
    SendMessage(WM_SIZE, SIZE_RESTORED, MakePointParam(width, height));
    if (SendMessage(WM_CREATE) != 0 || !hwnd_) {
        if (hwnd_) DestroyWindow();
        return 0;
    }
    if (style_ & WS_VISIBLE) ShowWindow(true, true);
    return hwnd_;
}

bool CWindowBase::BuildLayout() {
    const std::wstring file = GetSkinFile();
    if (file.empty()) return true;
    std::wstring folder = GetSkinFolder();
    if (!folder.empty() && folder.back() != L'/' && folder.back() != L'\\') folder.push_back(L'/');
    const std::wstring name = folder + file;
    auto bytes = ResourceManager::Instance().ReadFile(name);
    if (!bytes) {
        layoutError_ = L"layout " + name + L" not found";
        return false;
    }
    std::wstring detail;
    auto root = CLayoutBuilder::Build(*bytes, &paintManager_,
                                      [this](std::wstring_view element) { return CreateControl(element); }, &detail);
    if (!root) {
        layoutError_ = L"layout " + name + L" cannot be parsed: " + detail;
        return false;
    }
    const Size size = paintManager_.GetInitSize();
    if (size.cx > 0 && size.cy > 0) ResizeClient(size.cx, size.cy);
    TheBackend()->SetRoundCorner(hwnd_, paintManager_.GetRoundCorner());
    paintManager_.AttachDialog(std::move(root));
    paintManager_.AddNotifier(this);
    OnWindowReady();
    return true;
}

std::uint64_t CWindowBase::GetNativeHandle() const {
    return hwnd_ && TheBackend() ? TheBackend()->NativeHandle(hwnd_) : 0;
}

void CWindowBase::ShowWindow(bool show, bool takeFocus) {
    if (!hwnd_) return;
    const bool wasVisible = (style_ & WS_VISIBLE) != 0;
    if (show) style_ |= WS_VISIBLE; else style_ &= ~WS_VISIBLE;
    if (show) style_ &= ~WS_MINIMIZE;
    TheBackend()->Show(hwnd_, show, takeFocus);
    if (show != wasVisible) SendMessage(WM_SHOWWINDOW, show ? 1 : 0);
    if (show) paintManager_.Invalidate();
}

UINT CWindowBase::ShowModal() {
    if (!hwnd_) return closeResult_;
    MessageLoop& loop = MessageLoop::Instance();
    const HWND self = hwnd_;
    const HWND owner = owner_;
    ShowWindow(true, true);
    if (owner && loop.IsWindow(owner)) loop.EnableWindow(owner, false);
    Message message;
    while (loop.IsWindow(self)) {
        if (!loop.GetMessage(message)) {
            // The quit message ends this run and is posted again for the loop outside.
            loop.PostQuitMessage(static_cast<int>(static_cast<std::intptr_t>(message.wParam)));
            break;
        }
        if (loop.TranslateMessage(message)) continue;
        loop.DispatchMessage(message);
    }
    if (owner && loop.IsWindow(owner)) {
        loop.EnableWindow(owner, true);
        if (CWindowBase* ownerWindow = loop.FindWindow(owner)) ownerWindow->Activate();
    }
    return closeResult_;
}

void CWindowBase::Close(UINT result) {
    if (hwnd_) PostMessage(WM_CLOSE, result);
}

Rect CWindowBase::GetWindowRect() const { return hwnd_ ? TheBackend()->GetWindowRect(hwnd_) : Rect{}; }

void CWindowBase::CenterWindow() {
    if (!hwnd_) return;
    MessageLoop& loop = MessageLoop::Instance();
    const Rect rect = GetWindowRect();
    Rect center = rect;
    bool overOwner = false;
    if (CWindowBase* owner = loop.FindWindow(owner_)) {
        if ((owner->GetStyle() & WS_VISIBLE) && !(owner->GetStyle() & WS_MINIMIZE)) {
            center = owner->GetWindowRect();
            overOwner = true;
        }
    }
    const Rect work = TheBackend()->GetWorkArea(center);
    if (!overOwner) center = work;
    int left = center.left + (center.Width() - rect.Width()) / 2;
    int top = center.top + (center.Height() - rect.Height()) / 2;
    left = std::max(work.left, std::min(left, work.right - rect.Width()));
    top = std::max(work.top, std::min(top, work.bottom - rect.Height()));
    MoveWindow(left, top);
}

void CWindowBase::MoveWindow(int x, int y) {
    if (!hwnd_) return;
    const Rect rect = GetWindowRect();
    TheBackend()->SetWindowRect(hwnd_, {x, y, x + rect.Width(), y + rect.Height()});
    SendMessage(WM_MOVE, 0, MakePointParam(x, y));
}

void CWindowBase::ResizeClient(int cx, int cy) {
    if (!hwnd_ || cx <= 0 || cy <= 0) return;
    const Rect rect = GetWindowRect();
    TheBackend()->SetWindowRect(hwnd_, {rect.left, rect.top, rect.left + cx, rect.top + cy});
    SendMessage(WM_SIZE, SIZE_RESTORED, MakePointParam(cx, cy));
}

bool CWindowBase::DestroyWindow() {
    if (!hwnd_ || destroying_) return false;
    destroying_ = true;
    const HWND hwnd = hwnd_;
    SendMessage(WM_DESTROY);
    if (Backend* backend = TheBackend()) backend->DestroyNativeWindow(hwnd);
    SendMessage(WM_NCDESTROY);
    paintManager_.RemoveNotifier(this);
    // The tree stays with the object (window code may still hold its controls), but
    // nothing of it may run any more: its timers stop and queued notifications go.
    paintManager_.StopWindow();
    MessageLoop::Instance().UnregisterWindow(hwnd);
    hwnd_ = 0;
    destroying_ = false;
    OnFinalMessage(hwnd);
    return true;
}

void CWindowBase::Minimize() {
    if (!hwnd_) return;
    style_ |= WS_MINIMIZE;
    TheBackend()->Minimize(hwnd_);
    SendMessage(WM_SIZE, SIZE_MINIMIZED, 0);
}

void CWindowBase::Activate() {
    if (hwnd_) TheBackend()->Activate(hwnd_);
}

bool CWindowBase::SetIcon(cairo_surface_t* image) {
    if (!hwnd_ || !image) return false;
    TheBackend()->SetIcon(hwnd_, image);
    return true;
}

namespace {
struct PngBytes {
    std::string_view bytes;
    std::size_t offset = 0;
};
cairo_status_t ReadPngBytes(void* closure, unsigned char* data, unsigned int length) {
    auto* source = static_cast<PngBytes*>(closure);
    if (source->bytes.size() - source->offset < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, source->bytes.data() + source->offset, length);
    source->offset += length;
    return CAIRO_STATUS_SUCCESS;
}
}  // namespace

bool CWindowBase::SetIconFromPng(std::string_view pngBytes) {
    PngBytes source{pngBytes};
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(ReadPngBytes, &source);
    const bool ok = cairo_surface_status(image) == CAIRO_STATUS_SUCCESS && SetIcon(image);
    cairo_surface_destroy(image);
    return ok;
}

void CWindowBase::SetStyle(std::uint32_t style) {
    style_ = style;
    if (hwnd_) TheBackend()->SetStyle(hwnd_, style_ & ~WS_VISIBLE, exStyle_);
}

void CWindowBase::SetExStyle(std::uint32_t exStyle) {
    exStyle_ = exStyle;
    if (hwnd_) TheBackend()->SetStyle(hwnd_, style_ & ~WS_VISIBLE, exStyle_);
}

LRESULT CWindowBase::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!hwnd_) return 0;
    return MessageLoop::Instance().SendMessage(hwnd_, message, wParam, lParam);
}

bool CWindowBase::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND hwnd = hwnd_;
    return hwnd && MessageLoop::Instance().PostMessage(hwnd, message, wParam, lParam);
}

LRESULT CWindowBase::OnWindowMessage(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT CWindowBase::OnCustomMessage(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

void CWindowBase::OnNotify(TNotifyUI& msg) {
    if (msg.sType == L"click") OnControlClick(msg);
}

void CWindowBase::OnControlClick(TNotifyUI& msg) {
    if (!msg.pSender) return;
    const std::wstring& name = msg.pSender->GetName();
    if (name == L"closebtn") Close();
    else if (name == L"minbtn") SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
}

bool CWindowBase::PreFilterMessage(const Message&) { return false; }

LRESULT CWindowBase::ResponseDefaultKeyEvent(WPARAM key) {
    if (key == VK_ESCAPE) {
        Close();
        return 1;
    }
    return 0;
}

LRESULT CWindowBase::OnCreate(UINT, WPARAM, LPARAM, bool& handled) {
    handled = true;
    // Windows of skins draw their own caption; the system frame goes.
    style_ = (style_ & ~WS_CAPTION) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    TheBackend()->SetStyle(hwnd_, style_ & ~WS_VISIBLE, exStyle_);
    if (exStyle_ & WS_EX_TRANSPARENT) TheBackend()->SetClickThrough(hwnd_, true);
    if (!BuildLayout()) {
        LOG(L"CWindowBase::OnCreate", L"%s\r\n", layoutError_.c_str());
        OnLayoutError(layoutError_);
        return -1;
    }
    return 0;
}

LRESULT CWindowBase::OnClose(UINT, WPARAM wParam, LPARAM, bool& handled) {
    handled = true;
    closeResult_ = static_cast<UINT>(wParam);
    DestroyWindow();
    return 0;
}

LRESULT CWindowBase::OnDestroy(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT CWindowBase::OnSize(UINT, WPARAM wParam, LPARAM, bool& handled) {
    handled = false;
    if (wParam == SIZE_MINIMIZED) style_ |= WS_MINIMIZE; else style_ &= ~WS_MINIMIZE;
    if (wParam != SIZE_MINIMIZED && hwnd_) TheBackend()->SetRoundCorner(hwnd_, paintManager_.GetRoundCorner());
    return 0;
}

LRESULT CWindowBase::OnKeyDown(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT CWindowBase::OnSysCommand(UINT, WPARAM wParam, LPARAM, bool& handled) {
    handled = true;
    switch (wParam & 0xFFF0) {
    case SC_MINIMIZE:
        Minimize();
        break;
    case SC_RESTORE:
        ShowWindow(true, true);
        break;
    case SC_CLOSE:
        SendMessage(WM_CLOSE);
        break;
    default:
        break;
    }
    return 0;
}

LRESULT CWindowBase::OnNcPaint(UINT, WPARAM, LPARAM, bool& handled) {
    handled = true;
    return 0;
}

LRESULT CWindowBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    bool handled = true;
    LRESULT result = OnWindowMessage(message, wParam, lParam, handled);
    if (handled) return result;
    handled = true;
    switch (message) {
    case WM_CREATE: result = OnCreate(message, wParam, lParam, handled); break;
    case WM_CLOSE: result = OnClose(message, wParam, lParam, handled); break;
    case WM_DESTROY: result = OnDestroy(message, wParam, lParam, handled); break;
    case WM_SIZE: result = OnSize(message, wParam, lParam, handled); break;
    case WM_KEYDOWN: result = OnKeyDown(message, wParam, lParam, handled); break;
    case WM_SYSCOMMAND: result = OnSysCommand(message, wParam, lParam, handled); break;
    case WM_NCPAINT: result = OnNcPaint(message, wParam, lParam, handled); break;
    default: handled = false; break;
    }
    if (handled) return result;
    if (!IsFrameworkMessage(message)) {
        handled = true;
        result = OnCustomMessage(message, wParam, lParam, handled);
        if (handled) return result;
    }
    if (paintManager_.MessageHandler(message, wParam, lParam, result)) return result;
    if (message == WM_KEYDOWN) return ResponseDefaultKeyEvent(wParam);
    return 0;
}

// ---- loop helpers ----

bool PumpMessages(HWND hwnd) {
    MessageLoop& loop = MessageLoop::Instance();
    const std::uint32_t start = Platform::GetTickCount();
    for (;;) {
        if (hwnd && !loop.IsWindow(hwnd)) return false;
        const std::uint32_t elapsed = Platform::GetTickCount() - start;
        Message message;
        // Waiting is bounded by the pump's own time, so a quiet queue cannot hold the caller.
        const int wait = elapsed > kPumpMilliseconds ? 0 : static_cast<int>(kPumpMilliseconds - elapsed + 1);
        const auto got = loop.GetMessage(message, wait);
        if (got == MessageLoop::GetResult::Quit) {
            loop.PostQuitMessage(static_cast<int>(static_cast<std::intptr_t>(message.wParam)));
            return false;
        }
        if (got == MessageLoop::GetResult::Message && !loop.TranslateMessage(message)) loop.DispatchMessage(message);
        if (Platform::GetTickCount() - start > kPumpMilliseconds) return !hwnd || loop.IsWindow(hwnd);
    }
}

bool UpdateLayeredWindow(HWND hwnd, cairo_surface_t* image, const Rect& screenRect) {
    MessageLoop& loop = MessageLoop::Instance();
    CWindowBase* window = loop.FindWindow(hwnd);
    if (!window || !image || cairo_surface_get_type(image) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(image) != CAIRO_FORMAT_ARGB32) {
        return false;
    }
    const int width = cairo_image_surface_get_width(image);
    const int height = cairo_image_surface_get_height(image);
    Rect target = screenRect;
    if (target.IsEmpty()) {
        const Rect now = window->GetWindowRect();
        target = {now.left, now.top, now.left + width, now.top + height};
    }
    const Rect now = window->GetWindowRect();
    if (target.Width() != now.Width() || target.Height() != now.Height()) {
        window->ResizeClient(target.Width(), target.Height());
    }
    if (target.left != now.left || target.top != now.top) window->MoveWindow(target.left, target.top);
    cairo_surface_flush(image);
    loop.GetBackend()->Present(hwnd, image, {0, 0, std::min(width, target.Width()), std::min(height, target.Height())});
    return true;
}

bool IsWindow(HWND hwnd) { return MessageLoop::Instance().IsWindow(hwnd); }
bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return MessageLoop::Instance().PostMessage(hwnd, message, wParam, lParam);
}
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return MessageLoop::Instance().SendMessage(hwnd, message, wParam, lParam);
}
void PostQuitMessage(int exitCode) { MessageLoop::Instance().PostQuitMessage(exitCode); }
void EnableWindow(HWND hwnd, bool enable) { MessageLoop::Instance().EnableWindow(hwnd, enable); }
bool IsWindowEnabled(HWND hwnd) { return MessageLoop::Instance().IsWindowEnabled(hwnd); }

}  // namespace Framework
