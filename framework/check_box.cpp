#include "framework/check_box.h"

#include "framework/attribute_values.h"
#include "framework/paint_manager.h"

namespace Framework {

std::wstring_view CCheckBox::GetClass() const { return L"CheckBox"; }

void* CCheckBox::GetInterface(std::wstring_view name) {
    if (name == L"CheckBox" || name == L"Option") return this;
    return CButton::GetInterface(name);
}

void CCheckBox::SetAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"selected") {
        SetCheck(ParseBool(value), false);
    } else if (name == L"selectedimage") {
        selectedImage_ = ParseImageDescription(value);
        Invalidate();
    } else if (name == L"selectedhotimage") {
        selectedHotImage_ = ParseImageDescription(value);
        Invalidate();
    } else if (name == L"selectedtextcolor") {
        if (auto c = ParseColor(value)) {
            selectedTextColor_ = *c;
            Invalidate();
        }
    } else {
        CButton::SetAttribute(name, value);
    }
}

bool CCheckBox::Activate() {
    if (!CButton::Activate()) return false;
    SetCheck(!selected_, true);
    return true;
}

void CCheckBox::SetCheck(bool check, bool notify) {
    if (selected_ == check) return;
    selected_ = check;
    Invalidate();
    if (notify && manager_) manager_->SendNotify(this, L"selectchanged");
}

void CCheckBox::PaintStatusImage(cairo_t* cr) {
    if (selected_) {
        if (hot_ && DrawImage(cr, selectedHotImage_)) return;
        if (DrawImage(cr, selectedImage_)) return;
    }
    CButton::PaintStatusImage(cr);
}

void CCheckBox::PaintText(cairo_t* cr) {
    if (selected_ && selectedTextColor_ && IsEnabled()) {
        DrawLabelText(cr, selectedTextColor_);
        return;
    }
    CButton::PaintText(cr);
}

}  // namespace Framework
