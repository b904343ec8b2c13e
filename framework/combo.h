#pragma once
// A minimal combo box: a list of item texts and the current item. A click opens the
// list below the control (drawn over the window's content); a click on an item selects
// it and notifies "itemselect"; Up and Down step through the items while it has the
// focus; Esc or a click elsewhere closes the list.
//
// Owned by its parent; window thread only.

#include <string>
#include <vector>

#include "framework/label.h"

namespace Framework {

class CCombo : public CLabel {
public:
    CCombo();
    std::wstring_view GetClass() const override;
    void* GetInterface(std::wstring_view name) override;
    void SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void DoEvent(ControlEvent& event) override;
    void PaintText(cairo_t* cr) override;
    void PaintBorder(cairo_t* cr) override;
    bool IsKeyboardTarget() const override { return true; }
    bool TakesPointerInCaption() const override { return true; }
    bool WantsMouse() const override { return true; }
    std::wstring GetText() const override;

    int GetCount() const override { return 0; }  // items are texts, not child controls
    int GetItemCount() const { return static_cast<int>(items_.size()); }
    void AddItem(std::wstring text);
    void RemoveAllItems();
    std::wstring GetItemText(int index) const;
    int GetCurSel() const { return current_; }
    // Selects item `index` (-1 clears); with `notify` the window gets "itemselect"
    // (new, old index) when it changed. False for an index out of range.
    bool SelectItem(int index, bool notify = true);

    bool IsDropped() const { return dropped_; }
    // The dropped list's rectangle (window coordinates) and the item at a point in it.
    Rect GetDropRect() const;
    int ItemAt(Point point) const;
    // Paints the open list; the paint manager calls it after the whole tree.
    void PaintDropList(cairo_t* cr);
    void CloseDropList();

private:
    int ItemHeight() const;
    std::vector<std::wstring> items_;
    int current_ = -1;
    int hotItem_ = -1;
    bool dropped_ = false;
    std::uint32_t listBkColor_ = 0xFFFFFFFFu;
    std::uint32_t listHotColor_ = 0xFFE5F1FBu;
};

}  // namespace Framework
