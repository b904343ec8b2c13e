#pragma once
// The base of every element of a window's content: a light-weight rectangle in the
// window's control tree with a name, a position computed by its parent's layout pass,
// appearance attributes, and hooks for painting and input.
//
// A control is owned by its parent container (the root by the window's paint manager)
// and lives on the window thread. Invalidate() asks for a repaint soon; nothing paints
// at once.

#include <cairo.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "framework/geometry.h"
#include "framework/image_description.h"
#include "framework/window_messages.h"

namespace Framework {

class CPaintManager;

enum class EventType {
    MouseEnter,
    MouseLeave,
    MouseMove,
    ButtonDown,
    ButtonUp,
    DoubleClick,
    KeyDown,
    Char,
    SetFocus,
    KillFocus,
    Timer,
    Paste,
};

// One input or timer event delivered to a control.
struct ControlEvent {
    EventType type = EventType::MouseMove;
    class CControl* sender = nullptr;
    std::uint32_t timestamp = 0;
    Point mouse;
    WPARAM wParam = 0;  // key code, character, timer id
    LPARAM lParam = 0;  // modifiers for keys (kKeyShift ...)
    std::wstring text;  // pasted text
};

class CControl {
public:
    CControl();
    virtual ~CControl();
    CControl(const CControl&) = delete;
    CControl& operator=(const CControl&) = delete;

    // "Control", "Label", "Button", ... (the element name of the layout vocabulary).
    virtual std::wstring_view GetClass() const;
    // This control as the named interface, or nullptr: a control answers for its own
    // class and for its bases.
    virtual void* GetInterface(std::wstring_view name);

    const std::wstring& GetName() const { return name_; }
    void SetName(std::wstring name) { name_ = std::move(name); }
    virtual std::wstring GetText() const { return text_; }
    virtual void SetText(std::wstring text);
    const std::wstring& GetUserData() const { return userData_; }
    void SetUserData(std::wstring data) { userData_ = std::move(data); }

    CPaintManager* GetManager() const { return manager_; }
    CControl* GetParent() const { return parent_; }
    // Attaches the control (and its children) to a window; Init() runs when `init`.
    virtual void SetManager(CPaintManager* manager, CControl* parent, bool init);
    // Called once when the control becomes part of a window's tree.
    virtual void DoInit() {}

    // Children, for walking the tree; plain controls have none.
    virtual int GetCount() const { return 0; }
    virtual CControl* GetItemAt(int) const { return nullptr; }

    // Geometry. The layout pass calls SetPos; fixed sizes of 0 mean "flexible".
    const Rect& GetPos() const { return pos_; }
    virtual void SetPos(const Rect& rect);
    int GetFixedWidth() const { return fixedWidth_; }
    int GetFixedHeight() const { return fixedHeight_; }
    void SetFixedWidth(int width);   // re-lays out the parent
    void SetFixedHeight(int height);
    const Rect& GetPadding() const { return padding_; }  // margins outside the control
    void SetPadding(const Rect& padding);
    bool IsFloat() const { return float_; }
    const Rect& GetFloatPos() const { return floatPos_; }
    // The size this control wants inside `available`; 0 in a dimension means "share".
    virtual Size EstimateSize(Size available) const;

    // Visibility: own flag and the flag a tab layout sets on its hidden pages.
    bool IsVisible() const { return visible_ && internVisible_; }
    virtual void SetVisible(bool visible);
    virtual void SetInternVisible(bool visible);
    bool IsEnabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);
    bool IsFocused() const;
    void SetFocus();
    // Whether keyboard focus can rest on this control.
    virtual bool IsKeyboardTarget() const { return false; }
    // Whether a press inside the window's caption band goes to this control instead of
    // dragging the window (buttons, check boxes, edits, combos).
    virtual bool TakesPointerInCaption() const { return false; }
    // Whether the control wants mouse events at all (a plain spacer or label does not,
    // so presses fall through to whatever lies behind, e.g. the caption band).
    virtual bool WantsMouse() const { return false; }

    // Appearance.
    std::uint32_t GetBkColor() const { return bkColor_; }
    void SetBkColor(std::uint32_t color);
    const std::wstring& GetBkImage() const { return bkImageText_; }
    // An archive-relative name or an image description; invalidates.
    void SetBkImage(std::wstring image);
    void SetBorderColor(std::uint32_t color);
    void SetBorderSize(int size);
    void SetBorderRound(Size round);

    // Applies one layout attribute; unknown names and malformed values are ignored.
    virtual void SetAttribute(std::wstring_view name, std::wstring_view value);

    // Painting: everything within `paint` (window coordinates), clipped to this control.
    virtual void DoPaint(cairo_t* cr, const Rect& paint);
    virtual void PaintBkColor(cairo_t* cr);
    virtual void PaintBkImage(cairo_t* cr);
    virtual void PaintStatusImage(cairo_t* cr) { (void)cr; }
    virtual void PaintText(cairo_t* cr) { (void)cr; }
    virtual void PaintBorder(cairo_t* cr);
    // Draws an image attribute's value relative to this control; false when missing.
    bool DrawImage(cairo_t* cr, const ImageDescription& image);

    // Input and timers.
    virtual void DoEvent(ControlEvent& event);

    // Asks for this control's area to be repainted soon.
    void Invalidate();
    // Asks for the layout of this control's parent to be redone (size or visibility changed).
    void NeedParentUpdate();
    // Asks for this control's own children to be laid out again.
    void NeedUpdate();

    // The first control in this subtree (this one included) with exactly this name.
    virtual CControl* FindControl(std::wstring_view name);
    // The deepest visible control at `point` that wants the mouse, else the deepest visible one.
    virtual CControl* FindControlAt(Point point);

protected:
    CPaintManager* manager_ = nullptr;
    CControl* parent_ = nullptr;
    std::wstring name_;
    std::wstring text_;
    std::wstring userData_;
    Rect pos_;
    Rect padding_;
    Rect floatPos_;
    bool float_ = false;
    int fixedWidth_ = 0;
    int fixedHeight_ = 0;
    int minWidth_ = 0, maxWidth_ = 9999, minHeight_ = 0, maxHeight_ = 9999;
    bool visible_ = true;
    bool internVisible_ = true;
    bool enabled_ = true;
    std::uint32_t bkColor_ = 0;
    std::wstring bkImageText_;
    ImageDescription bkImage_;
    std::uint32_t borderColor_ = 0;
    int borderSize_ = 0;
    Size borderRound_;
};

}  // namespace Framework
