#pragma once
// A one-line text input: caret, selection (mouse and Shift+keys), keyboard editing
// (Backspace, Delete, Home, End, arrows, Ctrl+A), clipboard (Ctrl+C, Ctrl+X, Ctrl+V)
// and text typed by the user through the backend's input method (UTF-8 on X11).
// Notifies "textchanged" after every change made by the user.
//
// Owned by its parent; window thread only.

#include "framework/label.h"

namespace Framework {

class CEdit : public CLabel {
public:
    // Longest text kept unless the layout says otherwise (`maxchar`).
    static constexpr int kDefaultMaxChars = 255;

    CEdit();
    std::wstring_view GetClass() const override;
    void* GetInterface(std::wstring_view name) override;
    void SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void SetText(std::wstring text) override;
    void DoEvent(ControlEvent& event) override;
    void PaintText(cairo_t* cr) override;
    bool IsKeyboardTarget() const override { return true; }
    bool TakesPointerInCaption() const override { return true; }
    bool WantsMouse() const override { return true; }

    int GetMaxChars() const { return maxChars_; }
    void SetMaxChars(int count);
    bool IsReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    // Caret position and selection, as character indices (selection = [start, end)).
    int GetCaret() const { return caret_; }
    int GetSelectionStart() const { return std::min(anchor_, caret_); }
    int GetSelectionEnd() const { return std::max(anchor_, caret_); }
    void SetSelection(int anchor, int caret);
    std::wstring GetSelectedText() const;
    // Replaces the selection with `text` as if typed (line breaks dropped, length limited).
    void ReplaceSelection(std::wstring_view text);

private:
    std::wstring DisplayText() const;
    int IndexAt(int x) const;
    void MoveCaret(int index, bool extend);
    void EnsureCaretVisible();
    void Changed();

    int caret_ = 0;
    int anchor_ = 0;
    int scroll_ = 0;        // pixels of text hidden left of the text area
    bool selecting_ = false;
    bool readOnly_ = false;
    bool password_ = false;
    int maxChars_ = kDefaultMaxChars;
    std::uint32_t selectionColor_ = 0xFFBAD7FBu;
    std::uint32_t caretColor_ = 0xFF000000u;
};

}  // namespace Framework
