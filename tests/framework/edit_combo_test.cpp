// The one-line edit (typing, caret, selection, editing keys, clipboard, length limit)
// and the minimal combo box.

#include "framework_fixture.h"

#include "framework/combo.h"
#include "framework/edit.h"

namespace FrameworkTest {
namespace {

const char* kLayout = R"(<Window size="400,200"><Font id="0" name="微软雅黑" size="14" default="true"/>
  <VerticalLayout>
    <Edit name="dir" height="36" textpadding="9,0,9,3" textcolor="#FF333333" maxchar="20"/>
    <Edit name="other" height="30"/>
    <Combo name="languageCombo" height="30" items="中文|English|Deutsch"/>
    <Control/>
  </VerticalLayout></Window>)";

class FrameworkEditCombo : public HeadlessFixture {
protected:
    void SetUp() override {
        HeadlessFixture::SetUp();
        hwnd_ = Open(window_, kLayout);
        ASSERT_NE(hwnd_, 0u);
        edit_ = static_cast<CEdit*>(window_.FindControl(L"dir"));
        combo_ = static_cast<CCombo*>(window_.FindControl(L"languageCombo"));
    }
    void Type(std::wstring_view text) {
        backend_->InjectText(hwnd_, text);
        Pump();
    }
    void Key(WPARAM key, LPARAM modifiers = 0) {
        backend_->InjectKey(hwnd_, key, modifiers);
        Pump();
    }
    RecordingWindow window_{L"edit.xml"};
    HWND hwnd_ = 0;
    CEdit* edit_ = nullptr;
    CCombo* combo_ = nullptr;
};

TEST_F(FrameworkEditCombo, ClickingFocusesAndTypedTextIncludingChineseIsInserted) {
    backend_->InjectClick(hwnd_, 100, 18);
    Pump();
    EXPECT_TRUE(edit_->IsFocused());
    Type(L"D:\\安装");
    EXPECT_EQ(edit_->GetText(), L"D:\\安装");
    EXPECT_EQ(edit_->GetCaret(), 5);
    // Control characters and keys with Ctrl held are not text.
    backend_->Inject(hwnd_, WM_CHAR, 0x01, 0);
    backend_->Inject(hwnd_, WM_CHAR, 'v', kKeyControl);
    Pump();
    EXPECT_EQ(edit_->GetText(), L"D:\\安装");
    EXPECT_EQ(std::count(window_.notifications.begin(), window_.notifications.end(), L"textchanged:dir"), 5);
}

TEST_F(FrameworkEditCombo, EditingKeysMoveTheCaretAndDeleteAroundIt) {
    edit_->SetFocus();
    Type(L"abcdef");
    const struct { WPARAM key; LPARAM modifiers; const wchar_t* text; int caret; int selStart; int selEnd; } steps[] = {
        {VK_LEFT, 0, L"abcdef", 5, 5, 5},
        {VK_LEFT, kKeyShift, L"abcdef", 4, 4, 5},
        {VK_BACK, 0, L"abcdf", 4, 4, 4},
        {VK_HOME, 0, L"abcdf", 0, 0, 0},
        {VK_DELETE, 0, L"bcdf", 0, 0, 0},
        {VK_END, kKeyShift, L"bcdf", 4, 0, 4},
        {VK_RIGHT, 0, L"bcdf", 4, 4, 4},
        {VK_RIGHT, 0, L"bcdf", 4, 4, 4},
        {VK_DELETE, 0, L"bcdf", 4, 4, 4},
        {'A', kKeyControl, L"bcdf", 4, 0, 4},
        {VK_BACK, 0, L"", 0, 0, 0},
        {VK_BACK, 0, L"", 0, 0, 0},
    };
    for (const auto& s : steps) {
        Key(s.key, s.modifiers);
        EXPECT_EQ(edit_->GetText(), s.text) << "key " << s.key;
        EXPECT_EQ(edit_->GetCaret(), s.caret) << "key " << s.key;
        EXPECT_EQ(edit_->GetSelectionStart(), s.selStart) << "key " << s.key;
        EXPECT_EQ(edit_->GetSelectionEnd(), s.selEnd) << "key " << s.key;
    }
}

TEST_F(FrameworkEditCombo, TypingReplacesTheSelectionAndTheLengthLimitHolds) {
    edit_->SetFocus();
    Type(L"0123456789");
    edit_->SetSelection(2, 8);
    Type(L"x");
    EXPECT_EQ(edit_->GetText(), L"01x89");
    Type(L"abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(edit_->GetText().size(), 20u);
    EXPECT_EQ(edit_->GetText(), L"01xabcdefghijklmno89");
    edit_->SetText(std::wstring(50, L'z'));
    EXPECT_EQ(edit_->GetText().size(), 20u);
}

TEST_F(FrameworkEditCombo, ClipboardCopyCutAndPasteOfOneLine) {
    edit_->SetFocus();
    Type(L"C:/Program Files");
    edit_->SetSelection(0, 2);
    Key('C', kKeyControl);
    EXPECT_EQ(backend_->ClipboardText(), L"C:");
    Key('X', kKeyControl);
    EXPECT_EQ(edit_->GetText(), L"/Program Files");
    backend_->SetClipboard(L"/opt\r\n/安装\n");
    Key(VK_END);
    Key('V', kKeyControl);
    // Line breaks are dropped and the 20-character limit cuts the rest.
    EXPECT_EQ(edit_->GetText(), L"/Program Files/opt/安");
    // Paste goes to whichever edit has the focus when the text arrives.
    window_.FindControl(L"other")->SetFocus();
    backend_->SetClipboard(L"elsewhere");
    Key('V', kKeyControl);
    EXPECT_EQ(window_.FindControl(L"other")->GetText(), L"elsewhere");
}

TEST_F(FrameworkEditCombo, PastedTextForAWindowThatIsGoneIsDroppedQuietly) {
    edit_->SetFocus();
    backend_->SetClipboard(L"late");
    backend_->InjectKey(hwnd_, 'V', kKeyControl);
    // The key is handled and the clipboard's answer queued, then the window goes.
    Message message;
    while (MessageLoop::Instance().PeekMessage(message)) {
        MessageLoop::Instance().DispatchMessage(message);
        if (message.message == WM_KEYDOWN) break;
    }
    window_.DestroyWindow();
    Pump();  // the answer finds no window; under the address sanitizer nothing leaks
    EXPECT_EQ(edit_->GetText(), L"");
}

TEST_F(FrameworkEditCombo, ClickPlacesTheCaretAndDragSelects) {
    edit_->SetText(L"abcdefghij");
    const int left = edit_->GetPos().left + 9;
    backend_->InjectClick(hwnd_, left + 1, 18);
    Pump();
    EXPECT_EQ(edit_->GetCaret(), 0);
    const int end = left + RenderEngine::TextOffsetOf(L"abcdefghij", window_.GetPaintManager().GetFont(0), 10);
    backend_->InjectMouseMove(hwnd_, left + 1, 18);
    backend_->Inject(hwnd_, WM_LBUTTONDOWN, 0, MakePointParam(left + 1, 18));
    backend_->InjectMouseMove(hwnd_, end + 30, 18);
    backend_->Inject(hwnd_, WM_LBUTTONUP, 0, MakePointParam(end + 30, 18));
    Pump();
    EXPECT_EQ(edit_->GetSelectionStart(), 0);
    EXPECT_EQ(edit_->GetSelectionEnd(), 10);
    // Click outside any input takes the focus away.
    backend_->InjectClick(hwnd_, 200, 180);
    Pump();
    EXPECT_FALSE(edit_->IsFocused());
}

TEST_F(FrameworkEditCombo, ComboSelectsByListAndKeysAndNotifiesItemSelect) {
    EXPECT_EQ(combo_->GetItemCount(), 3);
    EXPECT_EQ(combo_->GetCurSel(), -1);
    EXPECT_TRUE(combo_->SelectItem(0, false));
    EXPECT_EQ(combo_->GetText(), L"中文");
    const Rect pos = combo_->GetPos();
    backend_->InjectClick(hwnd_, pos.left + 10, pos.top + 10);
    Pump();
    ASSERT_TRUE(combo_->IsDropped());
    const Rect list = combo_->GetDropRect();
    const int itemHeight = (list.Height() - 2) / 3;
    backend_->InjectClick(hwnd_, list.left + 10, list.top + 1 + itemHeight * 2 + itemHeight / 2);
    Pump();
    EXPECT_FALSE(combo_->IsDropped());
    EXPECT_EQ(combo_->GetCurSel(), 2);
    EXPECT_EQ(window_.notifications, std::vector<std::wstring>{L"itemselect:languageCombo:2"});
    Key(VK_UP);
    EXPECT_EQ(combo_->GetCurSel(), 1);
    // A press elsewhere closes an open list without selecting; Esc closes it and keeps the window.
    backend_->InjectClick(hwnd_, pos.left + 10, pos.top + 10);
    Pump();
    ASSERT_TRUE(combo_->IsDropped());
    Key(VK_ESCAPE);
    EXPECT_FALSE(combo_->IsDropped());
    EXPECT_TRUE(IsWindow(hwnd_));
    EXPECT_FALSE(combo_->SelectItem(3));
    EXPECT_EQ(combo_->GetCurSel(), 1);
}

}  // namespace
}  // namespace FrameworkTest
