#pragma once
// What the framework asks of a window system. Two implementations: X11 (real windows)
// and headless (in-memory surfaces with input injected by tests). The message loop
// owns the one backend of the process and calls it on the window thread only.
//
// Coordinates given to and returned by a backend are screen pixels; windows have no
// system frame of the framework's own, so a window's rectangle is its client area.

#include <cairo.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "framework/geometry.h"
#include "framework/window_messages.h"

namespace Framework {

struct NativeWindowRequest {
    HWND hwnd = 0;
    HWND owner = 0;
    std::wstring className;
    std::wstring title;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    Rect rect;
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual std::wstring_view Name() const = 0;

    // Creates the native window, not yet shown. False when the window system refuses.
    virtual bool CreateNativeWindow(const NativeWindowRequest& request) = 0;
    virtual void DestroyNativeWindow(HWND hwnd) = 0;
    virtual void SetTitle(HWND hwnd, std::wstring_view title) = 0;
    // Frame and resizing follow the style: a frame only with WS_CAPTION, resizing only
    // with WS_THICKFRAME; WS_EX_TOPMOST keeps the window above others.
    virtual void SetStyle(HWND hwnd, std::uint32_t style, std::uint32_t exStyle) = 0;
    virtual void Show(HWND hwnd, bool show, bool activate) = 0;
    virtual void Minimize(HWND hwnd) = 0;
    virtual void Activate(HWND hwnd) = 0;
    virtual void SetWindowRect(HWND hwnd, const Rect& rect) = 0;
    virtual Rect GetWindowRect(HWND hwnd) const = 0;
    // The usable area of the monitor holding most of `near` (panels excluded).
    virtual Rect GetWorkArea(const Rect& near) const = 0;
    // Shapes the window as a rounded rectangle with the given corner ellipse; (0,0)
    // or a corner of at most one pixel removes the shape.
    virtual void SetRoundCorner(HWND hwnd, Size round) = 0;
    // Input passes through the window (WS_EX_TRANSPARENT shadows).
    virtual void SetClickThrough(HWND hwnd, bool clickThrough) = 0;
    // Shows the `dirty` part of the window's back buffer (client coordinates).
    virtual void Present(HWND hwnd, cairo_surface_t* backBuffer, const Rect& dirty) = 0;
    // Hands a press in the caption band to the window manager, which moves the window.
    virtual void BeginMoveDrag(HWND hwnd, Point screenPoint) = 0;
    // Asks for the clipboard's text; it arrives later as kMessageClipboardText.
    virtual void RequestClipboardText(HWND hwnd) = 0;
    virtual void SetClipboardText(HWND hwnd, std::wstring_view text) = 0;
    // Sets the window's icon from a premultiplied ARGB image.
    virtual void SetIcon(HWND hwnd, cairo_surface_t* image) = 0;
    // The window system's own handle (an X11 window id; the headless backend's number).
    virtual std::uint64_t NativeHandle(HWND hwnd) const = 0;
    // Whether a compositing manager blends per-pixel alpha of top-level windows.
    virtual bool HasCompositor() const = 0;

    // Appends the messages for native events that have arrived; never blocks.
    virtual void CollectEvents(std::deque<Message>& out) = 0;
    // Blocks until a native event arrives, `wakeFd` becomes readable, or `timeoutMs`
    // passes (-1: no limit).
    virtual void Wait(int timeoutMs, int wakeFd) = 0;
};

enum class BackendKind { X11, Headless };

// Backend factories; nullptr when the backend cannot start (no display).
std::unique_ptr<Backend> CreateX11Backend();
std::unique_ptr<Backend> CreateHeadlessBackend();

}  // namespace Framework
