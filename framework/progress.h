#pragma once
// A horizontal progress bar: a track (the background image) and a fill image stretched
// over the part that the value (0 to 100) covers.
//
// Owned by its parent; window thread only.

#include "framework/label.h"

namespace Framework {

class CProgress : public CLabel {
public:
    static constexpr int kMinimum = 0;
    static constexpr int kMaximum = 100;

    std::wstring_view GetClass() const override;
    void* GetInterface(std::wstring_view name) override;
    void SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void PaintStatusImage(cairo_t* cr) override;

    int GetValue() const { return value_; }
    // Clamped to 0..100; repaints when it changed.
    void SetValue(int value);
    const std::wstring& GetForeImage() const { return foreImageText_; }
    void SetForeImage(std::wstring image);

private:
    int value_ = 0;
    std::wstring foreImageText_;
    ImageDescription foreImage_;
};

}  // namespace Framework
