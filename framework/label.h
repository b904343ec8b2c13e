#pragma once
// Static text or picture: a control with a font, text colours, a text style (DT_*) and
// text padding.
//
// Owned by its parent; window thread only.

#include "framework/control.h"

namespace Framework {

class CLabel : public CControl {
public:
    CLabel();
    std::wstring_view GetClass() const override;
    void* GetInterface(std::wstring_view name) override;
    void SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void PaintText(cairo_t* cr) override;

    // Font index into the window's font table; -1 is the default font.
    int GetFont() const { return font_; }
    void SetFont(int index);
    UINT GetTextStyle() const { return textStyle_; }
    void SetTextStyle(UINT style);
    const Rect& GetTextPadding() const { return textPadding_; }
    void SetTextPadding(const Rect& padding);
    std::uint32_t GetTextColor() const { return textColor_; }
    void SetTextColor(std::uint32_t color);
    std::uint32_t GetDisabledTextColor() const { return disabledTextColor_; }
    void SetDisabledTextColor(std::uint32_t color);

protected:
    // Draws the text in `color` inside the control less the text padding.
    void DrawLabelText(cairo_t* cr, std::uint32_t color);
    int font_ = -1;
    UINT textStyle_ = DT_VCENTER | DT_SINGLELINE;
    Rect textPadding_;
    std::uint32_t textColor_ = 0xFF000000u;
    std::uint32_t disabledTextColor_ = 0xFFA7A6AAu;
};

}  // namespace Framework
