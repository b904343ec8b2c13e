#pragma once
// The headless backend: windows are records with an in-memory "screen" surface that
// receives every Present, input is injected by tests, and the work area is a fixed
// rectangle. It runs the same loop, timers and modal runs as the X11 backend.
//
// Window thread only, like every backend; Inject* may be called from the window thread
// (tests drive it between loop runs).

#include <cairo.h>

#include <map>
#include <string>

#include "framework/backend.h"

namespace Framework {

class HeadlessBackend : public Backend {
public:
    struct WindowState {
        NativeWindowRequest request;
        Rect rect;
        bool visible = false;
        bool minimized = false;
        bool clickThrough = false;
        Size roundCorner;
        cairo_surface_t* screen = nullptr;  // what has been presented
        int presents = 0;
        Rect lastDirty;
        int moveDrags = 0;
        Point lastDragPoint;
        bool hasIcon = false;
    };

    HeadlessBackend();
    ~HeadlessBackend() override;

    // The backend of the running loop when it is the headless one, else nullptr.
    static HeadlessBackend* Current();

    std::wstring_view Name() const override { return L"headless"; }
    bool CreateNativeWindow(const NativeWindowRequest& request) override;
    void DestroyNativeWindow(HWND hwnd) override;
    void SetTitle(HWND hwnd, std::wstring_view title) override;
    void SetStyle(HWND hwnd, std::uint32_t style, std::uint32_t exStyle) override;
    void Show(HWND hwnd, bool show, bool activate) override;
    void Minimize(HWND hwnd) override;
    void Activate(HWND hwnd) override;
    void SetWindowRect(HWND hwnd, const Rect& rect) override;
    Rect GetWindowRect(HWND hwnd) const override;
    Rect GetWorkArea(const Rect& near) const override;
    void SetRoundCorner(HWND hwnd, Size round) override;
    void SetClickThrough(HWND hwnd, bool clickThrough) override;
    void Present(HWND hwnd, cairo_surface_t* backBuffer, const Rect& dirty) override;
    void BeginMoveDrag(HWND hwnd, Point screenPoint) override;
    void RequestClipboardText(HWND hwnd) override;
    void SetClipboardText(HWND hwnd, std::wstring_view text) override;
    void SetIcon(HWND hwnd, cairo_surface_t* image) override;
    std::uint64_t NativeHandle(HWND hwnd) const override;
    bool HasCompositor() const override { return compositor_; }
    void CollectEvents(std::deque<Message>& out) override;
    void Wait(int timeoutMs, int wakeFd) override;

    // ---- for tests ----
    void SetWorkArea(const Rect& area) { workArea_ = area; }
    void SetCompositor(bool on) { compositor_ = on; }
    const WindowState* State(HWND hwnd) const;
    HWND ActiveWindow() const { return active_; }
    const std::wstring& ClipboardText() const { return clipboard_; }
    void SetClipboard(std::wstring text) { clipboard_ = std::move(text); }
    // Queues native input for a window as the X11 backend would produce it.
    void Inject(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    void InjectMouseMove(HWND hwnd, int x, int y);
    // Move, press and release at (x, y).
    void InjectClick(HWND hwnd, int x, int y);
    void InjectKey(HWND hwnd, WPARAM key, LPARAM modifiers = 0);
    // Each character of `text` as WM_CHAR.
    void InjectText(HWND hwnd, std::wstring_view text);
    // A close request from the window manager (Alt+F4, the taskbar).
    void InjectCloseRequest(HWND hwnd);
    // The presented pixel at (x, y) as 0xAARRGGBB (premultiplied), 0 outside.
    std::uint32_t PixelAt(HWND hwnd, int x, int y) const;

private:
    std::map<HWND, WindowState> windows_;
    std::deque<Message> pending_;
    Rect workArea_{0, 0, 1920, 1040};
    bool compositor_ = true;
    HWND active_ = 0;
    std::wstring clipboard_;
    std::uint64_t nextNative_ = 0x100001;
    std::map<HWND, std::uint64_t> native_;
};

}  // namespace Framework
