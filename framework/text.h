#pragma once
// A text control: a label whose area takes presses inside the caption band instead of
// dragging the window (the layout element "Text").
//
// Owned by its parent; window thread only.

#include "framework/label.h"

namespace Framework {

class CText : public CLabel {
public:
    std::wstring_view GetClass() const override;
    void* GetInterface(std::wstring_view name) override;
    bool TakesPointerInCaption() const override { return true; }
    bool WantsMouse() const override { return true; }
};

}  // namespace Framework
