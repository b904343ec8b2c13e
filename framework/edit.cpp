#include "framework/edit.h"

#include <algorithm>

#include "framework/attribute_values.h"
#include "framework/message_loop.h"
#include "framework/paint_manager.h"
#include "framework/render_engine.h"

namespace Framework {

namespace {

bool IsTypedCharacter(wchar_t c) { return c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0); }

std::wstring OneLine(std::wstring_view text) {
    std::wstring line;
    line.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'\r' || c == L'\n') continue;
        if (c == L'\t') c = L' ';
        if (IsTypedCharacter(c)) line.push_back(c);
    }
    return line;
}

}  // namespace

CEdit::CEdit() {
    textStyle_ = DT_SINGLELINE | DT_VCENTER;
}

std::wstring_view CEdit::GetClass() const { return L"Edit"; }

void* CEdit::GetInterface(std::wstring_view name) {
    if (name == L"Edit") return this;
    return CLabel::GetInterface(name);
}

void CEdit::SetAttribute(std::wstring_view name, std::wstring_view value) {
    if (name == L"maxchar") {
        if (auto v = ParseInteger(value); v && *v > 0) SetMaxChars(*v);
    } else if (name == L"readonly") {
        readOnly_ = ParseBool(value);
    } else if (name == L"password") {
        password_ = ParseBool(value);
        Invalidate();
    } else if (name == L"selectedcolor") {
        if (auto c = ParseColor(value)) selectionColor_ = *c;
    } else if (name == L"caretcolor") {
        if (auto c = ParseColor(value)) caretColor_ = *c;
    } else {
        CLabel::SetAttribute(name, value);
    }
}

void CEdit::SetMaxChars(int count) {
    maxChars_ = count;
    if (static_cast<int>(text_.size()) > maxChars_) SetText(text_.substr(0, static_cast<std::size_t>(maxChars_)));
}

void CEdit::SetText(std::wstring text) {
    if (static_cast<int>(text.size()) > maxChars_) text.resize(static_cast<std::size_t>(maxChars_));
    CLabel::SetText(std::move(text));
    caret_ = anchor_ = static_cast<int>(text_.size());
    scroll_ = 0;
    EnsureCaretVisible();
}

std::wstring CEdit::DisplayText() const {
    return password_ ? std::wstring(text_.size(), L'*') : text_;
}

void CEdit::SetSelection(int anchor, int caret) {
    const int length = static_cast<int>(text_.size());
    anchor_ = std::clamp(anchor, 0, length);
    caret_ = std::clamp(caret, 0, length);
    EnsureCaretVisible();
    Invalidate();
}

std::wstring CEdit::GetSelectedText() const {
    return text_.substr(static_cast<std::size_t>(GetSelectionStart()),
                        static_cast<std::size_t>(GetSelectionEnd() - GetSelectionStart()));
}

void CEdit::ReplaceSelection(std::wstring_view typed) {
    std::wstring insert = OneLine(typed);
    const int start = GetSelectionStart();
    const int end = GetSelectionEnd();
    const int room = maxChars_ - (static_cast<int>(text_.size()) - (end - start));
    if (room <= 0 && insert.size() > 0 && start == end) return;
    if (static_cast<int>(insert.size()) > std::max(room, 0)) insert.resize(static_cast<std::size_t>(std::max(room, 0)));
    if (insert.empty() && start == end) return;
    text_.replace(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start), insert);
    caret_ = anchor_ = start + static_cast<int>(insert.size());
    Changed();
}

void CEdit::Changed() {
    EnsureCaretVisible();
    Invalidate();
    if (manager_) manager_->SendNotify(this, L"textchanged");
}

int CEdit::IndexAt(int x) const {
    if (!manager_) return 0;
    const Rect area = pos_.Deflate(textPadding_);
    return RenderEngine::HitTestText(DisplayText(), manager_->GetFont(font_), x - area.left + scroll_);
}

void CEdit::MoveCaret(int index, bool extend) {
    caret_ = std::clamp(index, 0, static_cast<int>(text_.size()));
    if (!extend) anchor_ = caret_;
    EnsureCaretVisible();
    Invalidate();
}

void CEdit::EnsureCaretVisible() {
    if (!manager_) return;
    const Rect area = pos_.Deflate(textPadding_);
    if (area.Width() <= 0) return;
    const int x = RenderEngine::TextOffsetOf(DisplayText(), manager_->GetFont(font_), caret_);
    if (x - scroll_ > area.Width() - 1) scroll_ = x - area.Width() + 1;
    if (x - scroll_ < 0) scroll_ = x;
    const int full = RenderEngine::MeasureText(DisplayText(), manager_->GetFont(font_), DT_SINGLELINE).cx;
    // No empty space right of the text while text is hidden on the left.
    scroll_ = std::max(0, std::min(scroll_, std::max(0, full - area.Width() + 1)));
}

void CEdit::DoEvent(ControlEvent& event) {
    if (!IsEnabled() && event.type != EventType::Timer) return;
    const bool shift = (event.lParam & kKeyShift) != 0;
    const bool control = (event.lParam & kKeyControl) != 0;
    switch (event.type) {
    case EventType::ButtonDown:
        SetFocus();
        selecting_ = true;
        MoveCaret(IndexAt(event.mouse.x), shift);
        return;
    case EventType::MouseMove:
        if (selecting_) MoveCaret(IndexAt(event.mouse.x), true);
        return;
    case EventType::ButtonUp:
        selecting_ = false;
        return;
    case EventType::DoubleClick:
        SetFocus();
        SetSelection(0, static_cast<int>(text_.size()));
        return;
    case EventType::SetFocus:
    case EventType::KillFocus:
        selecting_ = false;
        Invalidate();
        return;
    case EventType::Char: {
        const wchar_t c = static_cast<wchar_t>(event.wParam);
        if (control || readOnly_ || !IsTypedCharacter(c)) return;
        ReplaceSelection(std::wstring_view(&c, 1));
        return;
    }
    case EventType::Paste:
        if (!readOnly_) ReplaceSelection(event.text);
        return;
    case EventType::KeyDown:
        break;
    default:
        CLabel::DoEvent(event);
        return;
    }
    const int length = static_cast<int>(text_.size());
    switch (event.wParam) {
    case VK_LEFT:
        if (!shift && GetSelectionStart() != GetSelectionEnd()) MoveCaret(GetSelectionStart(), false);
        else MoveCaret(caret_ - 1, shift);
        return;
    case VK_RIGHT:
        if (!shift && GetSelectionStart() != GetSelectionEnd()) MoveCaret(GetSelectionEnd(), false);
        else MoveCaret(caret_ + 1, shift);
        return;
    case VK_HOME:
        MoveCaret(0, shift);
        return;
    case VK_END:
        MoveCaret(length, shift);
        return;
    case VK_BACK:
        if (readOnly_) return;
        if (anchor_ == caret_) {
            if (caret_ == 0) return;
            anchor_ = caret_ - 1;
        }
        ReplaceSelection(L"");
        return;
    case VK_DELETE:
        if (readOnly_) return;
        if (anchor_ == caret_) {
            if (caret_ >= length) return;
            anchor_ = caret_ + 1;
        }
        ReplaceSelection(L"");
        return;
    default:
        break;
    }
    if (control) {
        Backend* backend = MessageLoop::Instance().GetBackend();
        const HWND hwnd = manager_ ? manager_->GetPaintWindow() : 0;
        switch (event.wParam) {
        case 'A':
            SetSelection(0, length);
            return;
        case 'C':
            if (backend && !password_ && anchor_ != caret_) backend->SetClipboardText(hwnd, GetSelectedText());
            return;
        case 'X':
            if (backend && !password_ && anchor_ != caret_ && !readOnly_) {
                backend->SetClipboardText(hwnd, GetSelectedText());
                ReplaceSelection(L"");
            }
            return;
        case 'V':
            // The text arrives later as a Paste event (the clipboard owner answers asynchronously).
            if (backend && !readOnly_) backend->RequestClipboardText(hwnd);
            return;
        default:
            break;
        }
    }
    CLabel::DoEvent(event);
}

void CEdit::PaintText(cairo_t* cr) {
    if (!manager_) return;
    const Rect area = pos_.Deflate(textPadding_);
    if (area.IsEmpty()) return;
    const FontSpec& font = manager_->GetFont(font_);
    const std::wstring shown = DisplayText();
    cairo_save(cr);
    cairo_rectangle(cr, area.left, area.top, area.Width(), area.Height());
    cairo_clip(cr);
    const int lineHeight = std::max(RenderEngine::MeasureText(L"Ag", font, DT_SINGLELINE).cy, 1);
    const int lineTop = area.top + (area.Height() - lineHeight) / 2;
    const bool focused = IsFocused();
    if (focused && anchor_ != caret_) {
        const int x0 = RenderEngine::TextOffsetOf(shown, font, GetSelectionStart()) - scroll_;
        const int x1 = RenderEngine::TextOffsetOf(shown, font, GetSelectionEnd()) - scroll_;
        RenderEngine::FillRect(cr, {area.left + x0, lineTop, area.left + x1, lineTop + lineHeight}, selectionColor_);
    }
    const Rect textRect{area.left - scroll_, area.top, area.right + scroll_ + 1, area.bottom};
    RenderEngine::DrawText(cr, textRect, shown, IsEnabled() ? textColor_ : disabledTextColor_, font, textStyle_);
    if (focused && !readOnly_) {
        const int x = area.left + RenderEngine::TextOffsetOf(shown, font, caret_) - scroll_;
        RenderEngine::FillRect(cr, {x, lineTop, x + 1, lineTop + lineHeight}, caretColor_);
    }
    cairo_restore(cr);
}

}  // namespace Framework
