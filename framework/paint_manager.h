#pragma once
// One per window: holds the window's control tree and everything the controls share:
// the font table, window-level layout attributes, hot/pressed/focused controls, control
// timers, the notification path, the invalid region and the back buffer that painting
// goes to before the backend shows it.
//
// Owned by its CWindowBase and used on the window thread only.

#include <cairo.h>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/control.h"
#include "framework/notify.h"
#include "framework/render_engine.h"
#include "framework/window_messages.h"

namespace Framework {

class CPaintManager {
public:
    CPaintManager();
    ~CPaintManager();
    CPaintManager(const CPaintManager&) = delete;
    CPaintManager& operator=(const CPaintManager&) = delete;

    void Init(HWND hwnd);
    HWND GetPaintWindow() const { return hwnd_; }

    // Makes `root` the window's content (taking ownership) and initialises its controls.
    void AttachDialog(std::unique_ptr<CControl> root);
    CControl* GetRoot() const { return root_.get(); }
    // Drops the tree; timers and pending notifications of its controls go with it.
    void DetachDialog();
    // The native window is gone: timers stop, queued notifications go, nothing paints.
    // The tree itself stays for window code that still reads its controls.
    void StopWindow();

    // Window-level attributes from the layout.
    Size GetInitSize() const { return initSize_; }
    void SetInitSize(Size size) { initSize_ = size; }
    const Rect& GetCaptionRect() const { return caption_; }
    void SetCaptionRect(const Rect& caption) { caption_ = caption; }
    Size GetRoundCorner() const { return roundCorner_; }
    void SetRoundCorner(Size round) { roundCorner_ = round; }
    // Attributes of the Window element that the framework has no meaning for.
    void SetWindowAttribute(std::wstring name, std::wstring value);
    const std::wstring* GetWindowAttribute(std::wstring_view name) const;
    const std::map<std::wstring, std::wstring, std::less<>>& GetWindowAttributes() const { return windowAttributes_; }

    // Fonts: index -1 (or an unknown index) means the default font.
    void AddFont(int id, const FontSpec& font, bool isDefault);
    const FontSpec& GetFont(int id) const;
    const FontSpec& GetDefaultFont() const { return defaultFont_; }
    bool HasFont(int id) const { return fonts_.count(id) != 0; }
    // Pixel size of `text` in font `fontId` and text style `style`.
    Size MeasureText(std::wstring_view text, int fontId, UINT style, int width = 0) const;

    // Notifications.
    void AddNotifier(INotifyUI* notifier);
    void RemoveNotifier(INotifyUI* notifier);
    // Delivers at once, or (async) queues and delivers on the window thread after the
    // current message. A null sender stands for the root control.
    void SendNotify(CControl* sender, std::wstring_view type, WPARAM wParam = 0, LPARAM lParam = 0,
                    bool async = false);
    void SendNotify(TNotifyUI& msg, bool async = false);

    // Control timers by (control, id). Starting one that runs leaves it unchanged (true).
    bool SetTimer(CControl* control, UINT id, UINT elapse);
    bool KillTimer(CControl* control, UINT id);
    void KillTimers(CControl* control);
    bool HasTimer(CControl* control, UINT id) const;

    // Focus and pointer state.
    CControl* GetFocus() const { return focus_; }
    void SetFocus(CControl* control);
    CControl* GetHot() const { return hot_; }
    CControl* GetCaptured() const { return captured_; }
    // The combo box whose item list is open (drawn over the tree, takes the next press).
    void SetDroppedCombo(class CCombo* combo);
    // Forgets every reference to a control that is being destroyed.
    void ReapObjects(CControl* control);

    // Invalidation and layout.
    void Invalidate(const Rect& rect);
    void Invalidate();  // the whole window
    void NeedUpdate();  // lay out the whole tree before the next paint
    bool IsUpdateNeeded() const { return updateNeeded_; }
    // Runs a pending layout pass now (normally done by the next paint).
    void UpdateLayout();
    const Rect& GetInvalidRect() const { return invalid_; }

    // Paints the invalid region into the back buffer and hands it to the backend.
    void Paint();
    // The back buffer (ARGB, the window's client size); nullptr before the first paint.
    cairo_surface_t* GetBackBuffer() const { return backBuffer_; }
    // Paints the whole tree into a new surface of the client size (for tests and benches).
    cairo_surface_t* RenderToNewSurface();

    Size GetClientSize() const { return clientSize_; }

    CControl* FindControl(std::wstring_view name) const;
    CControl* FindControlAt(Point point) const;
    // Whether a press at `point` drags the window: inside the caption band and not on a
    // control that takes the pointer.
    bool IsCaptionDrag(Point point) const;

    // The framework's handling of a window message; true when it was consumed.
    bool MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    struct Timer {
        CControl* control;
        UINT id;
        UINT systemId;
    };
    void DeliverAsyncNotifications();
    void SetHot(CControl* control, Point mouse);
    void ResizeBackBuffer(Size size);
    void DispatchMouse(EventType type, Point point, LPARAM modifiers);

    HWND hwnd_ = 0;
    std::unique_ptr<CControl> root_;
    Size initSize_;
    Size clientSize_;
    Rect caption_;
    Size roundCorner_;
    std::map<std::wstring, std::wstring, std::less<>> windowAttributes_;
    std::map<int, FontSpec> fonts_;
    FontSpec defaultFont_;
    std::vector<INotifyUI*> notifiers_;
    std::deque<TNotifyUI> asyncNotifications_;
    bool asyncPosted_ = false;
    std::vector<Timer> timers_;
    CControl* focus_ = nullptr;
    CControl* hot_ = nullptr;
    CControl* captured_ = nullptr;
    class CCombo* droppedCombo_ = nullptr;
    UINT nextTimerId_ = 0;
    bool mouseTracking_ = false;
    Rect invalid_;
    bool updateNeeded_ = false;
    cairo_surface_t* backBuffer_ = nullptr;
};

}  // namespace Framework
