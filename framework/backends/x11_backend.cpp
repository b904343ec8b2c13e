// The X11 backend: real top-level windows on an X server.
//
// Windows use a 32-bit ARGB visual when a compositing manager runs (per-pixel alpha),
// otherwise the default visual; `roundcorner` becomes an XShape bounding shape;
// WS_EX_TRANSPARENT windows get an empty input shape. A press in the caption band is
// handed to the window manager with _NET_WM_MOVERESIZE; without a window manager the
// backend moves the window itself while the button is held. Text input goes through
// an X input method (UTF-8) when one can be opened, else through the key's keysym.
//
// Used on the window thread only.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "framework/backend.h"
#include "framework/backends/wakeup_event.h"
#include "framework/message_loop.h"
#include "platform/clock.h"
#include "platform/text_encoding.h"
#include "support/debug_log.h"

namespace Framework {

namespace {

// Double clicks: a second press this soon and this close to the first.
constexpr std::uint32_t kDoubleClickMilliseconds = 500;
constexpr int kDoubleClickDistance = 4;
constexpr long kMoveResizeMove = 8;  // _NET_WM_MOVERESIZE_MOVE

int IgnoreXErrors(Display* display, XErrorEvent* error) {
    char text[128] = {};
    XGetErrorText(display, error->error_code, text, sizeof text - 1);
    LOG(L"X11Backend", L"X error %d (%s) on request %d ignored\r\n", error->error_code,
        Platform::Utf8ToWide(text).c_str(), error->request_code);
    return 0;
}

struct MotifHints {
    unsigned long flags;
    unsigned long functions;
    unsigned long decorations;
    long inputMode;
    unsigned long status;
};

class X11Backend : public Backend {
public:
    explicit X11Backend(Display* display) : display_(display) {
        screen_ = DefaultScreen(display_);
        root_ = RootWindow(display_, screen_);
        XSetErrorHandler(IgnoreXErrors);
        const char* names[] = {"WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_WM_NAME", "UTF8_STRING",
                               "_MOTIF_WM_HINTS", "_NET_WM_MOVERESIZE", "_NET_ACTIVE_WINDOW", "_NET_WM_ICON",
                               "_NET_WORKAREA", "_NET_WM_STATE", "_NET_WM_STATE_ABOVE", "CLIPBOARD", "TARGETS",
                               "PARLUMO_CLIPBOARD", "_NET_SUPPORTED", "_NET_WM_WINDOW_TYPE",
                               "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_PID",
                               "_NET_SUPPORTING_WM_CHECK", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"};
        static_assert(sizeof names / sizeof names[0] == kAtomCount);
        XInternAtoms(display_, const_cast<char**>(names), kAtomCount, False, atoms_);
        char compositor[64];
        std::snprintf(compositor, sizeof compositor, "_NET_WM_CM_S%d", screen_);
        compositor_ = XGetSelectionOwner(display_, XInternAtom(display_, compositor, False)) != None;
        XVisualInfo info;
        if (compositor_ && XMatchVisualInfo(display_, screen_, 32, TrueColor, &info)) {
            visual_ = info.visual;
            depth_ = 32;
            colormap_ = XCreateColormap(display_, root_, visual_, AllocNone);
        } else {
            visual_ = DefaultVisual(display_, screen_);
            depth_ = DefaultDepth(display_, screen_);
            colormap_ = DefaultColormap(display_, screen_);
        }
        int eventBase = 0, errorBase = 0;
        hasShape_ = XShapeQueryExtension(display_, &eventBase, &errorBase);
        // The input method needs the locale's character set; a C locale still gets
        // UTF-8 text through Xutf8LookupString.
        if (!std::setlocale(LC_CTYPE, nullptr) || std::strcmp(std::setlocale(LC_CTYPE, nullptr), "C") == 0) {
            std::setlocale(LC_CTYPE, "C.UTF-8");
        }
        XSetLocaleModifiers("");
        inputMethod_ = XOpenIM(display_, nullptr, nullptr, nullptr);
        windowManager_ = HasWindowManager();
    }

    ~X11Backend() override {
        for (auto& [hwnd, w] : windows_) Release(w);
        if (inputMethod_) XCloseIM(inputMethod_);
        if (depth_ == 32) XFreeColormap(display_, colormap_);
        XCloseDisplay(display_);
    }

    std::wstring_view Name() const override { return L"x11"; }

    bool CreateNativeWindow(const NativeWindowRequest& request) override {
        XSetWindowAttributes attributes{};
        attributes.colormap = colormap_;
        attributes.border_pixel = 0;
        attributes.background_pixmap = None;  // no server-side clearing: no flicker between paints
        attributes.bit_gravity = NorthWestGravity;
        attributes.event_mask = ExposureMask | StructureNotifyMask | ButtonPressMask | ButtonReleaseMask |
                                PointerMotionMask | EnterWindowMask | LeaveWindowMask | KeyPressMask |
                                KeyReleaseMask | FocusChangeMask | PropertyChangeMask;
        const int width = std::max(1, request.rect.Width());
        const int height = std::max(1, request.rect.Height());
        const Window xid = XCreateWindow(display_, root_, request.rect.left, request.rect.top, static_cast<unsigned>(width),
                                         static_cast<unsigned>(height), 0, depth_, InputOutput, visual_,
                                         CWColormap | CWBorderPixel | CWBackPixmap | CWBitGravity | CWEventMask,
                                         &attributes);
        if (!xid) return false;
        NativeWindow w;
        w.xid = xid;
        w.hwnd = request.hwnd;
        w.rect = {request.rect.left, request.rect.top, request.rect.left + width, request.rect.top + height};
        w.style = request.style;
        w.exStyle = request.exStyle;
        w.gc = XCreateGC(display_, xid, 0, nullptr);

        const std::string className = Platform::WideToUtf8(request.className.empty() ? L"parlumo" : request.className);
        XClassHint classHint{const_cast<char*>(className.c_str()), const_cast<char*>("Parlumo")};
        XSetClassHint(display_, xid, &classHint);
        Atom protocols[] = {atoms_[kWmDeleteWindow]};
        XSetWMProtocols(display_, xid, protocols, 1);
        const long pid = static_cast<long>(getpid());
        XChangeProperty(display_, xid, atoms_[kNetWmPid], XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&pid), 1);
        if (request.owner) {
            if (auto owner = windows_.find(request.owner); owner != windows_.end()) {
                XSetTransientForHint(display_, xid, owner->second.xid);
            }
        }
        if (request.exStyle & (WS_EX_TRANSPARENT | WS_EX_LAYERED | WS_EX_TOOLWINDOW)) {
            // Companion windows (shadows) never take the focus and stay off the taskbar.
            XWMHints* hints = XAllocWMHints();
            hints->flags = InputHint;
            hints->input = False;
            XSetWMHints(display_, xid, hints);
            XFree(hints);
        }
        Atom type = atoms_[request.owner ? kNetWmWindowTypeDialog : kNetWmWindowTypeNormal];
        XChangeProperty(display_, xid, atoms_[kNetWmWindowType], XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&type), 1);
        if (inputMethod_) {
            w.inputContext = XCreateIC(inputMethod_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
                                       XNClientWindow, xid, XNFocusWindow, xid, nullptr);
        }
        windows_[request.hwnd] = w;
        byXid_[xid] = request.hwnd;
        SetTitle(request.hwnd, request.title);
        ApplyStyle(windows_[request.hwnd]);
        return true;
    }

    void DestroyNativeWindow(HWND hwnd) override {
        auto it = windows_.find(hwnd);
        if (it == windows_.end()) return;
        if (drag_.hwnd == hwnd) EndDrag();
        byXid_.erase(it->second.xid);
        Release(it->second);
        windows_.erase(it);
        XFlush(display_);
    }

    void SetTitle(HWND hwnd, std::wstring_view title) override {
        NativeWindow* w = Find(hwnd);
        if (!w) return;
        const std::string utf8 = Platform::WideToUtf8(title);
        XChangeProperty(display_, w->xid, atoms_[kNetWmName], atoms_[kUtf8String], 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
        XStoreName(display_, w->xid, utf8.c_str());
    }

    void SetStyle(HWND hwnd, std::uint32_t style, std::uint32_t exStyle) override {
        NativeWindow* w = Find(hwnd);
        if (!w) return;
        w->style = style;
        w->exStyle = exStyle;
        ApplyStyle(*w);
    }

    void Show(HWND hwnd, bool show, bool activate) override {
        NativeWindow* w = Find(hwnd);
        if (!w) return;
        if (show) {
            // Without a window manager the position requested at creation stands.
            XMapRaised(display_, w->xid);
            w->wantsFocus = activate;
            w->minimized = false;
        } else {
            XUnmapWindow(display_, w->xid);
            w->hiding = true;
        }
        XFlush(display_);
    }

    void Minimize(HWND hwnd) override {
        NativeWindow* w = Find(hwnd);
        if (!w) return;
        w->minimized = true;
        XIconifyWindow(display_, w->xid, screen_);
        XFlush(display_);
    }

    void Activate(HWND hwnd) override {
        NativeWindow* w = Find(hwnd);
        if (!w) return;
        if (windowManager_) {
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = w->xid;
            e.xclient.message_type = atoms_[kNetActiveWindow];
            e.xclient.format = 32;
            e.xclient.data.l[0] = 1;  // a normal application
            e.xclient.data.l[1] = CurrentTime;
            XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        } else if (w->mapped) {
            XSetInputFocus(display_, w->xid, RevertToParent, CurrentTime);
        } else {
            w->wantsFocus = true;
        }
        XFlush(display_);
    }

    void SetWindowRect(HWND hwnd, const Rect& rect) override {
        NativeWindow* w = Find(hwnd);
        if (!w) return;
        const int width = std::max(1, rect.Width());
        const int height = std::max(1, rect.Height());
        const bool resized = width != w->rect.Width() || height != w->rect.Height();
        w->rect = {rect.left, rect.top, rect.left + width, rect.top + height};
        if (resized) {
            ApplyStyle(*w);  // fixed-size windows carry their size in the hints
            XMoveResizeWindow(display_, w->xid, rect.left, rect.top, static_cast<unsigned>(width),
                              static_cast<unsigned>(height));
        } else {
            XMoveWindow(display_, w->xid, rect.left, rect.top);
        }
        XFlush(display_);
    }

    Rect GetWindowRect(HWND hwnd) const override {
        auto it = windows_.find(hwnd);
        return it == windows_.end() ? Rect{} : it->second.rect;
    }

    Rect GetWorkArea(const Rect& near) const override {
        (void)near;
        Rect area{0, 0, DisplayWidth(display_, screen_), DisplayHeight(display_, screen_)};
        Atom type;
        int format;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, root_, atoms_[kNetWorkarea], 0, 4, False, XA_CARDINAL, &type, &format, &count,
                               &after, &data) == Success && data) {
            if (format == 32 && count >= 4) {
                const long* v = reinterpret_cast<const long*>(data);
                if (v[2] > 0 && v[3] > 0) area = {int(v[0]), int(v[1]), int(v[0] + v[2]), int(v[1] + v[3])};
            }
            XFree(data);
        }
        return area;
    }

    void SetRoundCorner(HWND hwnd, Size round) override {
        NativeWindow* w = Find(hwnd);
        if (!w || !hasShape_) return;
        w->round = round;
        const int width = w->rect.Width(), height = w->rect.Height();
        if (round.cx <= 2 || round.cy <= 2) {
            XShapeCombineMask(display_, w->xid, ShapeBounding, 0, 0, None, ShapeSet);
            return;
        }
        // A rounded rectangle one pixel larger than the window each way, as the
        // window region of the skin is made.
        const double rx = std::min(round.cx / 2.0, (width + 1) / 2.0);
        const double ry = std::min(round.cy / 2.0, (height + 1) / 2.0);
        std::vector<XRectangle> rows;
        for (int y = 0; y < height; ++y) {
            double inset = 0;
            const double fromTop = y + 0.5, fromBottom = (height + 1) - (y + 0.5);
            const double d = std::min(fromTop, fromBottom);
            if (d < ry) {
                const double t = (ry - d) / ry;
                inset = rx - rx * std::sqrt(std::max(0.0, 1 - t * t));
            }
            const int left = static_cast<int>(std::lround(inset));
            const int right = std::min(width, static_cast<int>(std::lround((width + 1) - inset)));
            if (right > left) {
                rows.push_back({static_cast<short>(left), static_cast<short>(y), static_cast<unsigned short>(right - left), 1});
            }
        }
        XShapeCombineRectangles(display_, w->xid, ShapeBounding, 0, 0, rows.data(), static_cast<int>(rows.size()),
                                ShapeSet, YXBanded);
        XFlush(display_);
    }

    void SetClickThrough(HWND hwnd, bool clickThrough) override {
        NativeWindow* w = Find(hwnd);
        if (!w || !hasShape_) return;
        if (clickThrough) {
            XShapeCombineRectangles(display_, w->xid, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
        } else {
            XShapeCombineMask(display_, w->xid, ShapeInput, 0, 0, None, ShapeSet);
        }
    }

    void Present(HWND hwnd, cairo_surface_t* backBuffer, const Rect& dirty) override {
        NativeWindow* w = Find(hwnd);
        if (!w || !w->gc) return;
        const int width = cairo_image_surface_get_width(backBuffer);
        const int height = cairo_image_surface_get_height(backBuffer);
        const Rect r = dirty.Intersect({0, 0, width, height});
        if (r.IsEmpty()) return;
        // The back buffer is premultiplied ARGB in 32-bit pixels, which is what both the
        // 24-bit visual (the top byte ignored) and the ARGB visual take as they are; only
        // the dirty part travels to the server.
        XImage* image = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0,
                                     reinterpret_cast<char*>(cairo_image_surface_get_data(backBuffer)),
                                     static_cast<unsigned>(width), static_cast<unsigned>(height), 32,
                                     cairo_image_surface_get_stride(backBuffer));
        if (!image) return;
        const std::uint16_t one = 1;
        image->byte_order = *reinterpret_cast<const unsigned char*>(&one) ? LSBFirst : MSBFirst;  // host order
        XPutImage(display_, w->xid, w->gc, image, r.left, r.top, r.left, r.top, static_cast<unsigned>(r.Width()),
                  static_cast<unsigned>(r.Height()));
        image->data = nullptr;  // the pixels belong to the back buffer
        XDestroyImage(image);
        XFlush(display_);
    }

    void BeginMoveDrag(HWND hwnd, Point screenPoint) override {
        NativeWindow* w = Find(hwnd);
        if (!w) return;
        if (windowManager_) {
            XUngrabPointer(display_, CurrentTime);
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = w->xid;
            e.xclient.message_type = atoms_[kNetWmMoveresize];
            e.xclient.format = 32;
            e.xclient.data.l[0] = screenPoint.x;
            e.xclient.data.l[1] = screenPoint.y;
            e.xclient.data.l[2] = kMoveResizeMove;
            e.xclient.data.l[3] = Button1;
            e.xclient.data.l[4] = 1;  // a normal application
            XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
            XFlush(display_);
            return;
        }
        // No window manager: follow the pointer until the button is released.
        drag_ = {hwnd, screenPoint, {w->rect.left, w->rect.top}};
        XGrabPointer(display_, w->xid, False, ButtonReleaseMask | PointerMotionMask, GrabModeAsync, GrabModeAsync, None,
                     None, CurrentTime);
    }

    void RequestClipboardText(HWND hwnd) override {
        NativeWindow* w = Find(hwnd);
        if (!w) return;
        if (XGetSelectionOwner(display_, atoms_[kClipboard]) == None) {
            PostText(hwnd, L"");
            return;
        }
        if (clipboardOwner_ && XGetSelectionOwner(display_, atoms_[kClipboard]) == clipboardOwner_) {
            PostText(hwnd, clipboard_);  // our own text: no round trip through the server
            return;
        }
        pasteTarget_ = hwnd;
        XConvertSelection(display_, atoms_[kClipboard], atoms_[kUtf8String], atoms_[kParlumoClipboard], w->xid,
                          CurrentTime);
        XFlush(display_);
    }

    void SetClipboardText(HWND hwnd, std::wstring_view text) override {
        NativeWindow* w = Find(hwnd);
        if (!w) return;
        clipboard_.assign(text);
        XSetSelectionOwner(display_, atoms_[kClipboard], w->xid, CurrentTime);
        clipboardOwner_ = XGetSelectionOwner(display_, atoms_[kClipboard]) == w->xid ? w->xid : 0;
        XFlush(display_);
    }

    void SetIcon(HWND hwnd, cairo_surface_t* image) override {
        NativeWindow* w = Find(hwnd);
        if (!w || cairo_surface_get_type(image) != CAIRO_SURFACE_TYPE_IMAGE) return;
        cairo_surface_flush(image);
        const int width = cairo_image_surface_get_width(image);
        const int height = cairo_image_surface_get_height(image);
        const int stride = cairo_image_surface_get_stride(image);
        const unsigned char* data = cairo_image_surface_get_data(image);
        const cairo_format_t format = cairo_image_surface_get_format(image);
        std::vector<long> icon{width, height};
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                std::uint32_t p = reinterpret_cast<const std::uint32_t*>(data + y * stride)[x];
                if (format == CAIRO_FORMAT_RGB24) p |= 0xFF000000u;
                const std::uint32_t a = p >> 24;
                if (a && a != 255) {
                    // _NET_WM_ICON wants straight alpha.
                    auto un = [&](int shift) { return std::min<std::uint32_t>(255, ((p >> shift) & 0xFF) * 255 / a) << shift; };
                    p = (a << 24) | un(16) | un(8) | un(0);
                }
                icon.push_back(static_cast<long>(p));
            }
        }
        XChangeProperty(display_, w->xid, atoms_[kNetWmIcon], XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(icon.data()), static_cast<int>(icon.size()));
        XFlush(display_);
    }

    std::uint64_t NativeHandle(HWND hwnd) const override {
        auto it = windows_.find(hwnd);
        return it == windows_.end() ? 0 : it->second.xid;
    }

    bool HasCompositor() const override { return compositor_; }

    void CollectEvents(std::deque<Message>& out) override {
        // One native event at a time, and only when the messages of the previous one
        // have been taken: what a message's handler changes (a drag that starts on a
        // press) must apply to the events that follow it.
        if (!out.empty()) return;
        while (out.empty() && XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (XFilterEvent(&event, None)) continue;
            Translate(event, out);
        }
    }

    void Wait(int timeoutMs, int wakeFd) override {
        XFlush(display_);
        if (XPending(display_) > 0) return;
        WaitReadable(ConnectionNumber(display_), wakeFd, timeoutMs);
    }

private:
    enum AtomIndex {
        kWmProtocols, kWmDeleteWindow, kNetWmName, kUtf8String, kMotifWmHints, kNetWmMoveresize, kNetActiveWindow,
        kNetWmIcon, kNetWorkarea, kNetWmState, kNetWmStateAbove, kClipboard, kTargets, kParlumoClipboard,
        kNetSupported, kNetWmWindowType, kNetWmWindowTypeDialog, kNetWmWindowTypeNormal, kNetWmPid,
        kNetSupportingWmCheck, kNetWmStateSkipTaskbar, kNetWmStateSkipPager, kAtomCount
    };

    struct NativeWindow {
        Window xid = 0;
        HWND hwnd = 0;
        Rect rect;
        std::uint32_t style = 0;
        std::uint32_t exStyle = 0;
        Size round;
        GC gc = nullptr;
        XIC inputContext = nullptr;
        bool mapped = false;
        bool minimized = false;
        bool hiding = false;
        bool wantsFocus = false;
        std::uint32_t lastPressTime = 0;
        Point lastPress{-100, -100};
    };

    struct Drag {
        HWND hwnd = 0;
        Point start;
        Point windowStart;
    };

    bool HasWindowManager() {
        Atom type;
        int format;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool found = false;
        if (XGetWindowProperty(display_, root_, atoms_[kNetSupportingWmCheck], 0, 1, False, XA_WINDOW, &type, &format,
                               &count, &after, &data) == Success && data) {
            found = count == 1;
            XFree(data);
        }
        return found;
    }

    NativeWindow* Find(HWND hwnd) {
        auto it = windows_.find(hwnd);
        return it == windows_.end() ? nullptr : &it->second;
    }

    NativeWindow* FindXid(Window xid) {
        auto it = byXid_.find(xid);
        return it == byXid_.end() ? nullptr : Find(it->second);
    }

    void Release(NativeWindow& w) {
        if (w.gc) XFreeGC(display_, w.gc);
        if (w.inputContext) XDestroyIC(w.inputContext);
        if (clipboardOwner_ == w.xid) clipboardOwner_ = 0;
        XDestroyWindow(display_, w.xid);
        w.gc = nullptr;
        w.inputContext = nullptr;
    }

    void ApplyStyle(NativeWindow& w) {
        // No system frame unless the style asks for a caption.
        MotifHints hints{2 /* decorations */, 0, (w.style & WS_CAPTION) == WS_CAPTION ? 1ul : 0ul, 0, 0};
        XChangeProperty(display_, w.xid, atoms_[kMotifWmHints], atoms_[kMotifWmHints], 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&hints), 5);
        XSizeHints* size = XAllocSizeHints();
        size->flags = PPosition | USPosition;
        if (!(w.style & WS_THICKFRAME) || !(w.style & WS_CAPTION)) {
            size->flags |= PMinSize | PMaxSize;
            size->min_width = size->max_width = w.rect.Width();
            size->min_height = size->max_height = w.rect.Height();
        }
        size->x = w.rect.left;
        size->y = w.rect.top;
        XSetWMNormalHints(display_, w.xid, size);
        XFree(size);
        // Window states are read by the window manager when the window is mapped.
        std::vector<Atom> states;
        if (w.exStyle & WS_EX_TOPMOST) states.push_back(atoms_[kNetWmStateAbove]);
        if (w.exStyle & (WS_EX_TRANSPARENT | WS_EX_LAYERED | WS_EX_TOOLWINDOW)) {
            states.push_back(atoms_[kNetWmStateSkipTaskbar]);
            states.push_back(atoms_[kNetWmStateSkipPager]);
        }
        if (states.empty()) {
            XDeleteProperty(display_, w.xid, atoms_[kNetWmState]);
        } else {
            XChangeProperty(display_, w.xid, atoms_[kNetWmState], XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(states.data()), static_cast<int>(states.size()));
        }
    }

    void PostText(HWND hwnd, const std::wstring& text) {
        MessageLoop::Instance().PostMessage(hwnd, kMessageClipboardText, 0, reinterpret_cast<LPARAM>(new std::wstring(text)));
    }

    static WPARAM Modifiers(unsigned state) {
        WPARAM m = 0;
        if (state & ShiftMask) m |= static_cast<WPARAM>(kKeyShift);
        if (state & ControlMask) m |= static_cast<WPARAM>(kKeyControl);
        if (state & Mod1Mask) m |= static_cast<WPARAM>(kKeyAlt);
        return m;
    }

    static WPARAM VirtualKey(KeySym sym) {
        if (sym >= XK_a && sym <= XK_z) return 'A' + (sym - XK_a);
        if (sym >= XK_A && sym <= XK_Z) return 'A' + (sym - XK_A);
        if (sym >= XK_0 && sym <= XK_9) return '0' + (sym - XK_0);
        switch (sym) {
        case XK_Escape: return VK_ESCAPE;
        case XK_Return: case XK_KP_Enter: return VK_RETURN;
        case XK_BackSpace: return VK_BACK;
        case XK_Tab: case XK_ISO_Left_Tab: return VK_TAB;
        case XK_Delete: case XK_KP_Delete: return VK_DELETE;
        case XK_Home: case XK_KP_Home: return VK_HOME;
        case XK_End: case XK_KP_End: return VK_END;
        case XK_Left: case XK_KP_Left: return VK_LEFT;
        case XK_Right: case XK_KP_Right: return VK_RIGHT;
        case XK_Up: case XK_KP_Up: return VK_UP;
        case XK_Down: case XK_KP_Down: return VK_DOWN;
        case XK_space: return VK_SPACE;
        case XK_F4: return VK_F4;
        case XK_Shift_L: case XK_Shift_R: return VK_SHIFT;
        case XK_Control_L: case XK_Control_R: return VK_CONTROL;
        default: return 0;
        }
    }

    // The text a key press types.
    std::wstring TypedText(NativeWindow& w, XKeyEvent& key, KeySym& sym) {
        char buffer[64];
        int length = 0;
        if (w.inputContext) {
            Status status = 0;
            length = Xutf8LookupString(w.inputContext, &key, buffer, sizeof buffer - 1, &sym, &status);
            // While an input method composes nothing is typed yet; with chars only,
            // the key's own symbol still names the key.
            if (status == XLookupChars) sym = XLookupKeysym(&key, 0);
            if (status == XLookupNone || status == XBufferOverflow) return {};
            if ((status == XLookupChars || status == XLookupBoth) && length > 0) {
                return Platform::Utf8ToWide(std::string_view(buffer, static_cast<std::size_t>(length)));
            }
            return {};
        }
        length = XLookupString(&key, buffer, sizeof buffer - 1, &sym, nullptr);
        // Unicode keysyms (0x01000000 + code point) and Latin-1 keysyms are the character.
        if (sym >= 0x01000100 && sym <= 0x0110FFFF) return std::wstring(1, static_cast<wchar_t>(sym - 0x01000000));
        if (length == 1 && static_cast<unsigned char>(buffer[0]) >= 0x20) {
            return std::wstring(1, static_cast<wchar_t>(static_cast<unsigned char>(buffer[0])));
        }
        return {};
    }

    void EndDrag() {
        XUngrabPointer(display_, CurrentTime);
        drag_ = {};
    }

    void Translate(XEvent& event, std::deque<Message>& out) {
        NativeWindow* w = FindXid(event.xany.window);
        if (event.type == SelectionRequest) {
            AnswerSelectionRequest(event.xselectionrequest);
            return;
        }
        if (!w) return;
        const HWND hwnd = w->hwnd;
        switch (event.type) {
        case Expose: {
            const XExposeEvent& e = event.xexpose;
            out.push_back({hwnd, kMessageExpose, 0,
                           static_cast<LPARAM>(MakePointParam(e.x, e.y)) |
                               (static_cast<LPARAM>(MakePointParam(e.x + e.width, e.y + e.height)) << 32)});
            break;
        }
        case ConfigureNotify: {
            const XConfigureEvent& e = event.xconfigure;
            int x = e.x, y = e.y;
            if (!e.send_event) {
                // Under a reparenting window manager the position is relative to its frame.
                Window child;
                XTranslateCoordinates(display_, w->xid, root_, 0, 0, &x, &y, &child);
            }
            const bool moved = x != w->rect.left || y != w->rect.top;
            const bool resized = e.width != w->rect.Width() || e.height != w->rect.Height();
            w->rect = {x, y, x + e.width, y + e.height};
            if (resized) {
                out.push_back({hwnd, WM_SIZE, SIZE_RESTORED, MakePointParam(e.width, e.height)});
            }
            if (moved) out.push_back({hwnd, WM_MOVE, 0, MakePointParam(x, y)});
            break;
        }
        case MapNotify:
            w->mapped = true;
            w->hiding = false;
            if (w->minimized) {
                w->minimized = false;
                out.push_back({hwnd, WM_SIZE, SIZE_RESTORED, MakePointParam(w->rect.Width(), w->rect.Height())});
            }
            if (w->wantsFocus && !windowManager_) XSetInputFocus(display_, w->xid, RevertToParent, CurrentTime);
            w->wantsFocus = false;
            break;
        case UnmapNotify:
            w->mapped = false;
            if (!w->hiding && !w->minimized) {
                w->minimized = true;
                out.push_back({hwnd, WM_SIZE, SIZE_MINIMIZED, 0});
            }
            w->hiding = false;
            break;
        case ButtonPress: {
            const XButtonEvent& e = event.xbutton;
            const WPARAM mods = Modifiers(e.state);
            if (e.button == Button1) {
                const std::uint32_t now = static_cast<std::uint32_t>(e.time);
                const bool twice = now - w->lastPressTime < kDoubleClickMilliseconds &&
                                   std::abs(e.x - w->lastPress.x) <= kDoubleClickDistance &&
                                   std::abs(e.y - w->lastPress.y) <= kDoubleClickDistance;
                w->lastPressTime = twice ? 0 : now;
                w->lastPress = {e.x, e.y};
                out.push_back({hwnd, twice ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, mods, MakePointParam(e.x, e.y)});
            } else if (e.button == Button3) {
                out.push_back({hwnd, WM_RBUTTONDOWN, mods, MakePointParam(e.x, e.y)});
            } else if (e.button == Button4 || e.button == Button5) {
                const WPARAM delta = static_cast<WPARAM>(static_cast<std::uint16_t>(e.button == Button4 ? 120 : -120));
                out.push_back({hwnd, WM_MOUSEWHEEL, (delta << 16) | mods, MakePointParam(e.x, e.y)});
            }
            break;
        }
        case ButtonRelease: {
            const XButtonEvent& e = event.xbutton;
            if (drag_.hwnd == hwnd && e.button == Button1) {
                EndDrag();
                out.push_back({hwnd, WM_EXITSIZEMOVE, 0, 0});
                break;
            }
            if (e.button == Button1) out.push_back({hwnd, WM_LBUTTONUP, Modifiers(e.state), MakePointParam(e.x, e.y)});
            if (e.button == Button3) out.push_back({hwnd, WM_RBUTTONUP, Modifiers(e.state), MakePointParam(e.x, e.y)});
            break;
        }
        case MotionNotify: {
            // Only the latest of a run of motions matters; a motion after a press or a
            // release is not merged past it.
            XEvent next;
            while (XEventsQueued(display_, QueuedAlready) > 0) {
                XPeekEvent(display_, &next);
                if (next.type != MotionNotify || next.xmotion.window != w->xid) break;
                XNextEvent(display_, &event);
            }
            const XMotionEvent& e = event.xmotion;
            if (drag_.hwnd == hwnd) {
                const int x = drag_.windowStart.x + e.x_root - drag_.start.x;
                const int y = drag_.windowStart.y + e.y_root - drag_.start.y;
                XMoveWindow(display_, w->xid, x, y);
                break;
            }
            out.push_back({hwnd, WM_MOUSEMOVE, Modifiers(e.state), MakePointParam(e.x, e.y)});
            break;
        }
        case LeaveNotify:
            if (event.xcrossing.mode == NotifyNormal) out.push_back({hwnd, WM_MOUSELEAVE, 0, 0});
            break;
        case KeyPress: {
            KeySym sym = NoSymbol;
            const std::wstring text = TypedText(*w, event.xkey, sym);
            const WPARAM mods = Modifiers(event.xkey.state);
            if (const WPARAM vk = VirtualKey(sym)) {
                out.push_back({hwnd, (mods & static_cast<WPARAM>(kKeyAlt)) ? WM_SYSKEYDOWN : WM_KEYDOWN, vk,
                               static_cast<LPARAM>(mods)});
            }
            if (!(mods & static_cast<WPARAM>(kKeyControl | kKeyAlt))) {
                for (wchar_t c : text) {
                    if (c >= 0x20 && c != 0x7F) out.push_back({hwnd, WM_CHAR, static_cast<WPARAM>(c), 0});
                }
            }
            break;
        }
        case KeyRelease: {
            const KeySym sym = XLookupKeysym(&event.xkey, 0);
            if (const WPARAM vk = VirtualKey(sym)) {
                out.push_back({hwnd, WM_KEYUP, vk, static_cast<LPARAM>(Modifiers(event.xkey.state))});
            }
            break;
        }
        case FocusIn:
            if (event.xfocus.detail == NotifyPointer) break;
            if (w->inputContext) XSetICFocus(w->inputContext);
            out.push_back({hwnd, WM_ACTIVATE, WA_ACTIVE, 0});
            out.push_back({hwnd, WM_SETFOCUS, 0, 0});
            break;
        case FocusOut:
            if (event.xfocus.detail == NotifyPointer || event.xfocus.mode == NotifyGrab) break;
            if (w->inputContext) XUnsetICFocus(w->inputContext);
            out.push_back({hwnd, WM_ACTIVATE, WA_INACTIVE, 0});
            out.push_back({hwnd, WM_KILLFOCUS, 0, 0});
            break;
        case ClientMessage:
            if (event.xclient.message_type == atoms_[kWmProtocols] &&
                static_cast<Atom>(event.xclient.data.l[0]) == atoms_[kWmDeleteWindow]) {
                out.push_back({hwnd, WM_CLOSE, 0, 0});
            }
            break;
        case SelectionNotify:
            if (event.xselection.property == None) {
                PostText(pasteTarget_ ? pasteTarget_ : hwnd, L"");
            } else {
                PostText(pasteTarget_ ? pasteTarget_ : hwnd, ReadClipboardProperty(w->xid));
            }
            pasteTarget_ = 0;
            break;
        case SelectionClear:
            if (clipboardOwner_ == w->xid) clipboardOwner_ = 0;
            break;
        default:
            break;
        }
    }

    std::wstring ReadClipboardProperty(Window xid) {
        Atom type;
        int format;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::wstring text;
        // At most a megabyte: the edit keeps one line of a few hundred characters.
        if (XGetWindowProperty(display_, xid, atoms_[kParlumoClipboard], 0, 1 << 18, True, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success && data) {
            if (format == 8) {
                const std::string_view bytes(reinterpret_cast<const char*>(data), count);
                text = type == atoms_[kUtf8String] ? Platform::Utf8ToWide(bytes)
                                                   : Platform::MultiByteToWide(28591, bytes, Platform::InvalidInput::Replace)
                                                         .value_or(Platform::Utf8ToWide(bytes));
            }
            XFree(data);
        }
        return text;
    }

    void AnswerSelectionRequest(const XSelectionRequestEvent& request) {
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = request.requestor;
        reply.xselection.selection = request.selection;
        reply.xselection.target = request.target;
        reply.xselection.time = request.time;
        reply.xselection.property = None;
        const Atom property = request.property != None ? request.property : request.target;
        if (request.selection == atoms_[kClipboard] && clipboardOwner_) {
            if (request.target == atoms_[kTargets]) {
                Atom targets[] = {atoms_[kTargets], atoms_[kUtf8String], XA_STRING};
                XChangeProperty(display_, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<unsigned char*>(targets), 3);
                reply.xselection.property = property;
            } else if (request.target == atoms_[kUtf8String] || request.target == XA_STRING) {
                const std::string utf8 = Platform::WideToUtf8(clipboard_);
                XChangeProperty(display_, request.requestor, property, request.target, 8, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
                reply.xselection.property = property;
            }
        }
        XSendEvent(display_, request.requestor, False, 0, &reply);
        XFlush(display_);
    }

    Display* display_;
    int screen_ = 0;
    Window root_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 24;
    Colormap colormap_ = 0;
    bool compositor_ = false;
    bool hasShape_ = false;
    bool windowManager_ = false;
    XIM inputMethod_ = nullptr;
    Atom atoms_[kAtomCount] = {};
    std::map<HWND, NativeWindow> windows_;
    std::map<Window, HWND> byXid_;
    Drag drag_;
    std::wstring clipboard_;
    Window clipboardOwner_ = 0;
    HWND pasteTarget_ = 0;
};

}  // namespace

std::unique_ptr<Backend> CreateX11Backend() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    return std::make_unique<X11Backend>(display);
}

}  // namespace Framework
