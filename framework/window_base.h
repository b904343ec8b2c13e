#pragma once
// A top-level or owned window whose content is a control tree built from an XML layout.
//
// Window code derives from CWindowBase and answers the hooks below. Every message
// reaches the window in this order: OnWindowMessage sees it first; then the framework's
// own handling of creation, destruction, sizing, focus, close, non-client messages,
// keyboard and mouse; every other message (WM_TIMER, application messages such as
// WM_USER + 1000) goes to OnCustomMessage and then to the framework's default handling
// (control timers, queued notifications). Keyboard messages pass PreFilterMessage
// before they are dispatched.
//
// The object belongs to whoever constructed it (often a stack frame); the framework
// never deletes it. It lives on the window thread. Destroying the object destroys its
// native window if that still exists.

#include <memory>
#include <string>
#include <string_view>

#include "framework/control.h"
#include "framework/notify.h"
#include "framework/paint_manager.h"
#include "framework/window_messages.h"

namespace Framework {

class CWindowBase : public INotifyUI {
public:
    CWindowBase();
    ~CWindowBase() override;
    CWindowBase(const CWindowBase&) = delete;
    CWindowBase& operator=(const CWindowBase&) = delete;

    // Creates the window, builds its content from the layout and runs OnWindowReady
    // before returning. Position CW_USEDEFAULT takes a default; the layout's `size`
    // decides the size. Returns 0 when the native window cannot be made or the layout
    // cannot be found or parsed (then OnLayoutError has been called and the window is
    // gone); LayoutError() tells which.
    HWND Create(HWND owner, std::wstring_view title, std::uint32_t style, std::uint32_t exStyle,
                int x = CW_USEDEFAULT, int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT);
    HWND GetHWND() const { return hwnd_; }
    HWND GetOwner() const { return owner_; }
    std::uint64_t GetNativeHandle() const;
    const std::wstring& LayoutError() const { return layoutError_; }

    // Shows or hides; sends WM_SHOWWINDOW.
    void ShowWindow(bool show = true, bool takeFocus = true);
    // Shows the window and runs a message loop until it is destroyed. The owner is
    // disabled meanwhile and re-enabled and focused afterwards. A WM_QUIT ends the run
    // early and is posted again. Returns the wParam of the WM_CLOSE that closed it.
    UINT ShowModal();
    // Posts WM_CLOSE with `result`.
    void Close(UINT result = 0);
    // Centres on the owner (or, without an owner or with a minimised one, in the work
    // area of the monitor), kept inside that work area. Only the position changes.
    void CenterWindow();
    bool DestroyWindow();
    void Minimize();
    void Activate();
    bool SetIcon(cairo_surface_t* image);
    // Icons from PNG bytes (the executable's icon resource); false when they do not decode.
    bool SetIconFromPng(std::string_view pngBytes);
    Rect GetWindowRect() const;
    void MoveWindow(int x, int y);
    void ResizeClient(int cx, int cy);

    std::uint32_t GetStyle() const { return style_; }
    void SetStyle(std::uint32_t style);
    std::uint32_t GetExStyle() const { return exStyle_; }
    void SetExStyle(std::uint32_t exStyle);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    bool PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);  // any thread

    CPaintManager& GetPaintManager() { return paintManager_; }
    CControl* FindControl(std::wstring_view name) const { return paintManager_.FindControl(name); }
    // An attribute of the layout's Window element that the framework keeps by name.
    const std::wstring* GetWindowAttribute(std::wstring_view name) const {
        return paintManager_.GetWindowAttribute(name);
    }

    // ---- hooks ----
    virtual std::wstring GetWindowClassName() const { return L"FrameworkWindow"; }
    virtual UINT GetClassStyle() const { return 0; }
    virtual std::wstring GetSkinFolder() const { return {}; }
    // The layout file; empty builds a window without content.
    virtual std::wstring GetSkinFile() const { return {}; }
    virtual LRESULT OnWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    // The tree is built and named controls can be bound.
    virtual void OnWindowReady() {}
    // Every notification of the window's controls; the default routes "click" to OnControlClick.
    void Notify(TNotifyUI& msg) override { OnNotify(msg); }
    virtual void OnNotify(TNotifyUI& msg);
    // Default: "closebtn" closes the window, "minbtn" minimises it.
    virtual void OnControlClick(TNotifyUI& msg);
    // Keyboard messages before dispatch; true swallows the message.
    virtual bool PreFilterMessage(const Message& message);
    // Keys nobody handled: Enter does nothing, Esc closes the window.
    virtual LRESULT ResponseDefaultKeyEvent(WPARAM key);
    // Elements the framework does not know; nullptr leaves them out of the tree.
    virtual CControl* CreateControl(std::wstring_view element) { (void)element; return nullptr; }
    // The layout cannot be found or parsed; `detail` says why.
    virtual void OnLayoutError(const std::wstring& detail) { (void)detail; }
    // After the native window is gone.
    virtual void OnFinalMessage(HWND hwnd) { (void)hwnd; }

    // Framework handlers; each may set `handled` false to pass the message on.
    virtual LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnKeyDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    virtual LRESULT OnNcPaint(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

    // The message dispatcher (called by the loop).
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    CPaintManager paintManager_;

private:
    bool BuildLayout();
    void FinishDestroy();

    HWND hwnd_ = 0;
    HWND owner_ = 0;
    std::uint32_t style_ = 0;
    std::uint32_t exStyle_ = 0;
    std::wstring title_;
    std::wstring layoutError_;
    UINT closeResult_ = 0;
    bool destroying_ = false;
};

// Brief message pump used before handing the user to another program: dispatches the
// window thread's messages until more than 100 ms have passed since the call (then
// true), the window `hwnd` is gone (false; 0 watches no window) or WM_QUIT arrives
// (false, and the quit message is posted again).
bool PumpMessages(HWND hwnd);

// Shows `image` (premultiplied ARGB) as the whole content of `hwnd`, moved and sized to
// `screenRect` (the image's size when `screenRect` is empty): what a layered window's
// update does for per-pixel-alpha companions such as a drop shadow. The window should
// have no layout of its own. False for a window that is gone or an image that is not one.
bool UpdateLayeredWindow(HWND hwnd, cairo_surface_t* image, const Rect& screenRect);

// Loop helpers in Windows terms.
bool IsWindow(HWND hwnd);
bool PostMessage(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
void PostQuitMessage(int exitCode);
void EnableWindow(HWND hwnd, bool enable);
bool IsWindowEnabled(HWND hwnd);

}  // namespace Framework

namespace Utils {
// The installer's name for Framework::PumpMessages.
inline bool PumpMessages(Framework::HWND hwnd) { return Framework::PumpMessages(hwnd); }
}  // namespace Utils
