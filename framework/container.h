#pragma once
// Controls that hold children: the plain container (children fill it), the vertical and
// horizontal stacks, and the tab layout that shows one page at a time.
//
// A container owns its children. Layout: fixed-size children keep their size; the
// others share what is left equally (the last takes the rounding rest); padding is
// space outside a child; invisible children take no space; `inset` is space inside the
// container; `childpadding` separates neighbours.

#include <memory>
#include <vector>

#include "framework/control.h"

namespace Framework {

class CContainer : public CControl {
public:
    std::wstring_view GetClass() const override;
    void* GetInterface(std::wstring_view name) override;

    int GetCount() const override { return static_cast<int>(items_.size()); }
    CControl* GetItemAt(int index) const override;
    int GetItemIndex(const CControl* control) const;
    // Takes ownership; false (and the control is destroyed) when it is null.
    bool Add(std::unique_ptr<CControl> control);
    bool AddAt(std::unique_ptr<CControl> control, int index);
    bool Remove(CControl* control);
    void RemoveAll();

    void SetManager(CPaintManager* manager, CControl* parent, bool init) override;
    void SetPos(const Rect& rect) override;
    void SetInternVisible(bool visible) override;
    void SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void DoPaint(cairo_t* cr, const Rect& paint) override;
    CControl* FindControl(std::wstring_view name) override;
    CControl* FindControlAt(Point point) override;

    const Rect& GetInset() const { return inset_; }
    void SetInset(const Rect& inset);
    int GetChildPadding() const { return childPadding_; }

protected:
    // Lays out floating children (placed by their `pos` relative to this container).
    void SetFloatPos(CControl* child);
    std::vector<std::unique_ptr<CControl>> items_;
    Rect inset_;
    int childPadding_ = 0;
};

class CVerticalLayout : public CContainer {
public:
    std::wstring_view GetClass() const override;
    void* GetInterface(std::wstring_view name) override;
    void SetPos(const Rect& rect) override;
};

class CHorizontalLayout : public CContainer {
public:
    std::wstring_view GetClass() const override;
    void* GetInterface(std::wstring_view name) override;
    void SetPos(const Rect& rect) override;
};

class CTabLayout : public CContainer {
public:
    std::wstring_view GetClass() const override;
    void* GetInterface(std::wstring_view name) override;
    void SetPos(const Rect& rect) override;
    void SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void SetManager(CPaintManager* manager, CControl* parent, bool init) override;
    void SetInternVisible(bool visible) override;

    int GetCurSel() const { return current_; }
    // Shows page `index`; with `notify` the window gets "tabselect" (new, old index).
    // False for an index out of range. Selecting the current page changes nothing.
    bool SelectItem(int index, bool notify = true);
    bool SelectItem(CControl* control, bool notify = true);

private:
    void ApplyPageVisibility();
    int current_ = 0;
};

}  // namespace Framework
