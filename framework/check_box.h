#pragma once
// A check box: a button that toggles its ticked state on click, shows `selectedimage`
// and `selectedtextcolor` while ticked, and notifies "selectchanged" on every change
// made by the user (or by SetCheck with notification).
//
// Owned by its parent; window thread only.

#include "framework/button.h"

namespace Framework {

class CCheckBox : public CButton {
public:
    std::wstring_view GetClass() const override;
    void* GetInterface(std::wstring_view name) override;
    void SetAttribute(std::wstring_view name, std::wstring_view value) override;
    bool Activate() override;
    void PaintStatusImage(cairo_t* cr) override;
    void PaintText(cairo_t* cr) override;

    bool GetCheck() const { return selected_; }
    // Sets the ticked state; with `notify` the window gets "selectchanged" when it changed.
    void SetCheck(bool check, bool notify = true);

private:
    bool selected_ = false;
    ImageDescription selectedImage_, selectedHotImage_;
    std::uint32_t selectedTextColor_ = 0;
};

}  // namespace Framework
