#pragma once
// A push button: state images (normal, hot, pushed, disabled, focused), state
// background and text colours, a border with a corner ellipse, and a "click"
// notification when the pointer is released over it after pressing it.
//
// Owned by its parent; window thread only.

#include "framework/label.h"

namespace Framework {

class CButton : public CLabel {
public:
    CButton();
    std::wstring_view GetClass() const override;
    void* GetInterface(std::wstring_view name) override;
    void SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void DoEvent(ControlEvent& event) override;
    void PaintBkColor(cairo_t* cr) override;
    void PaintStatusImage(cairo_t* cr) override;
    void PaintText(cairo_t* cr) override;
    bool IsKeyboardTarget() const override { return true; }
    bool TakesPointerInCaption() const override { return true; }
    bool WantsMouse() const override { return true; }
    void SetEnabled(bool enabled) override;

    bool IsHot() const { return hot_; }
    bool IsPushed() const { return pushed_; }
    // Performs a click as if the user made it: notifies "click". False when disabled.
    virtual bool Activate();

    void SetNormalImage(std::wstring image);
    void SetHotImage(std::wstring image);
    void SetPushedImage(std::wstring image);
    void SetDisabledImage(std::wstring image);
    std::uint32_t GetHotTextColor() const { return hotTextColor_; }
    std::uint32_t GetPushedTextColor() const { return pushedTextColor_; }

protected:
    bool hot_ = false;
    bool pushed_ = false;    // the pointer is down on this button and over it
    bool pressing_ = false;  // the pointer went down on this button and is not yet up
    ImageDescription normalImage_, hotImage_, pushedImage_, disabledImage_, focusedImage_;
    std::uint32_t hotBkColor_ = 0, pushedBkColor_ = 0, disabledBkColor_ = 0;
    std::uint32_t hotTextColor_ = 0, pushedTextColor_ = 0, focusedTextColor_ = 0;
};

}  // namespace Framework
