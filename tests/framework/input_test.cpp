// Pointer and keyboard input through the headless backend: button states and clicks,
// check boxes, the caption drag band, focus, the keyboard pre-filter and the default
// reactions to "closebtn" and "minbtn".

#include "framework_fixture.h"

#include "framework/button.h"
#include "framework/check_box.h"

namespace FrameworkTest {
namespace {

const char* kLayout = R"(<Window size="300,200" caption="0,0,0,40">
  <VerticalLayout>
    <HorizontalLayout height="40">
      <Label name="title" text="标题"/>
      <Text name="link" text="链接" width="30"/>
      <Button name="minbtn" width="24" height="24"/>
      <Button name="closebtn" width="24" height="24"/>
      <CheckBox name="capCb" width="20" height="20"/>
    </HorizontalLayout>
    <HorizontalLayout height="40">
      <Button name="ok" width="100" hottextcolor="#FF5A9DFD" pushedtextcolor="#FF1365DB" bordercolor="#FF1890FF" bordersize="1"/>
      <Button name="off" width="100" enabled="false"/>
      <CheckBox name="cb" width="100" selected="true"/>
    </HorizontalLayout>
    <Control/>
  </VerticalLayout>
</Window>)";

class FrameworkInput : public HeadlessFixture {
protected:
    void OpenWindow() {
        hwnd_ = Open(window_, kLayout);
        ASSERT_NE(hwnd_, 0u);
        ok_ = static_cast<CButton*>(window_.FindControl(L"ok"));
        cb_ = static_cast<CCheckBox*>(window_.FindControl(L"cb"));
    }
    RecordingWindow window_{L"input.xml"};
    HWND hwnd_ = 0;
    CButton* ok_ = nullptr;
    CCheckBox* cb_ = nullptr;
};

TEST_F(FrameworkInput, ButtonGoesHotPushedAndClicksOnReleaseOverIt) {
    OpenWindow();
    backend_->InjectMouseMove(hwnd_, 50, 60);
    Pump();
    EXPECT_TRUE(ok_->IsHot());
    EXPECT_FALSE(ok_->IsPushed());
    backend_->Inject(hwnd_, WM_LBUTTONDOWN, 0, MakePointParam(50, 60));
    Pump();
    EXPECT_TRUE(ok_->IsPushed());
    EXPECT_TRUE(window_.notifications.empty());
    backend_->Inject(hwnd_, WM_LBUTTONUP, 0, MakePointParam(50, 60));
    Pump();
    EXPECT_FALSE(ok_->IsPushed());
    EXPECT_EQ(window_.notifications, std::vector<std::wstring>{L"click:ok"});
    backend_->InjectMouseMove(hwnd_, 250, 150);
    Pump();
    EXPECT_FALSE(ok_->IsHot());
}

TEST_F(FrameworkInput, ReleasingAwayFromTheButtonCancelsTheClick) {
    OpenWindow();
    backend_->InjectMouseMove(hwnd_, 50, 60);
    backend_->Inject(hwnd_, WM_LBUTTONDOWN, 0, MakePointParam(50, 60));
    backend_->InjectMouseMove(hwnd_, 150, 150);
    Pump();
    EXPECT_FALSE(ok_->IsPushed());  // pointer left while pressed
    backend_->InjectMouseMove(hwnd_, 60, 60);
    Pump();
    EXPECT_TRUE(ok_->IsPushed());  // and came back
    backend_->InjectMouseMove(hwnd_, 150, 150);
    backend_->Inject(hwnd_, WM_LBUTTONUP, 0, MakePointParam(150, 150));
    Pump();
    EXPECT_TRUE(window_.notifications.empty());
}

TEST_F(FrameworkInput, DisabledAndHiddenButtonsTakeNoClicks) {
    OpenWindow();
    backend_->InjectClick(hwnd_, 150, 60);  // "off" is disabled
    Pump();
    ok_->SetVisible(false);
    Pump();
    backend_->InjectClick(hwnd_, 20, 60);
    Pump();
    EXPECT_TRUE(window_.notifications.empty());
    ok_->SetVisible(true);
    ok_->SetEnabled(false);
    Pump();
    backend_->InjectClick(hwnd_, 20, 60);
    Pump();
    EXPECT_TRUE(window_.notifications.empty());
}

TEST_F(FrameworkInput, CheckBoxTogglesAndReportsEachChange) {
    OpenWindow();
    EXPECT_TRUE(cb_->GetCheck());
    backend_->InjectClick(hwnd_, 250, 60);
    Pump();
    EXPECT_FALSE(cb_->GetCheck());
    backend_->InjectClick(hwnd_, 250, 60);
    Pump();
    EXPECT_TRUE(cb_->GetCheck());
    EXPECT_EQ(window_.notifications,
              (std::vector<std::wstring>{L"click:cb", L"selectchanged:cb", L"click:cb", L"selectchanged:cb"}));
    window_.notifications.clear();
    cb_->SetCheck(false, false);
    cb_->SetCheck(false, true);  // no change, no notification
    EXPECT_TRUE(window_.notifications.empty());
    cb_->SetCheck(true, true);
    EXPECT_EQ(window_.notifications, std::vector<std::wstring>{L"selectchanged:cb"});
}

TEST_F(FrameworkInput, CaptionBandDragsTheWindowExceptOverButtonLikeControls) {
    OpenWindow();
    const Rect window = window_.GetWindowRect();
    backend_->Inject(hwnd_, WM_LBUTTONDOWN, 0, MakePointParam(30, 10));  // over the title label
    backend_->Inject(hwnd_, WM_LBUTTONUP, 0, MakePointParam(30, 10));
    Pump();
    ASSERT_EQ(backend_->State(hwnd_)->moveDrags, 1);
    EXPECT_EQ(backend_->State(hwnd_)->lastDragPoint, (Point{window.left + 30, window.top + 10}));

    const int minbtnX = window_.FindControl(L"minbtn")->GetPos().left + 5;
    const int checkX = window_.FindControl(L"capCb")->GetPos().left + 5;
    backend_->InjectClick(hwnd_, checkX, 10);
    backend_->InjectClick(hwnd_, 20, 60);  // below the band: no drag
    Pump();
    EXPECT_EQ(backend_->State(hwnd_)->moveDrags, 1);
    EXPECT_EQ(window_.notifications, (std::vector<std::wstring>{L"click:capCb", L"selectchanged:capCb", L"click:ok"}));

    const int linkX = window_.FindControl(L"link")->GetPos().left + 5;
    backend_->InjectClick(hwnd_, linkX, 10);  // a Text control takes the press too
    backend_->InjectClick(hwnd_, minbtnX, 10);
    Pump();
    EXPECT_EQ(backend_->State(hwnd_)->moveDrags, 1);
    EXPECT_TRUE(backend_->State(hwnd_)->minimized);
    EXPECT_TRUE(window_.GetStyle() & WS_MINIMIZE);
}

TEST_F(FrameworkInput, CloseButtonClosesTheWindowByDefault) {
    OpenWindow();
    const int x = window_.FindControl(L"closebtn")->GetPos().left + 5;
    backend_->InjectClick(hwnd_, x, 10);
    Pump();
    EXPECT_FALSE(IsWindow(hwnd_));
    EXPECT_EQ(window_.GetHWND(), 0u);
    EXPECT_EQ(backend_->State(hwnd_), nullptr);
}

TEST_F(FrameworkInput, EscapeClosesUnlessThePreFilterSwallowsIt) {
    OpenWindow();
    window_.swallowEscape = true;
    backend_->InjectKey(hwnd_, VK_ESCAPE);
    backend_->InjectKey(hwnd_, VK_RETURN);
    Pump();
    EXPECT_TRUE(IsWindow(hwnd_));
    window_.swallowEscape = false;
    backend_->InjectKey(hwnd_, VK_ESCAPE);
    Pump();
    EXPECT_FALSE(IsWindow(hwnd_));
}

TEST_F(FrameworkInput, TabMovesKeyboardFocusAndSpacePressesTheFocusedButton) {
    OpenWindow();
    ok_->SetFocus();
    EXPECT_TRUE(ok_->IsFocused());
    backend_->InjectKey(hwnd_, VK_SPACE);
    Pump();
    EXPECT_EQ(window_.notifications, std::vector<std::wstring>{L"click:ok"});
    backend_->InjectKey(hwnd_, VK_TAB);  // skips the disabled "off"
    Pump();
    EXPECT_TRUE(cb_->IsFocused());
    backend_->InjectKey(hwnd_, VK_TAB, kKeyShift);
    Pump();
    EXPECT_TRUE(ok_->IsFocused());
    ok_->SetVisible(false);
    EXPECT_EQ(window_.GetPaintManager().GetFocus(), nullptr);
}

TEST_F(FrameworkInput, WindowCodeCanRefuseACloseRequestFromTheUser) {
    OpenWindow();
    struct Guard : RecordingWindow {
        using RecordingWindow::RecordingWindow;
        bool refuse = true;
        int seen = 0;
        LRESULT OnWindowMessage(UINT m, WPARAM, LPARAM, bool& handled) override {
            handled = m == WM_CLOSE && refuse;
            if (m == WM_CLOSE) ++seen;
            return 0;
        }
    } guarded(L"input.xml");
    const HWND g = guarded.Create(0, L"g", WS_VISIBLE, 0);
    ASSERT_NE(g, 0u);
    backend_->InjectCloseRequest(g);
    Pump();
    EXPECT_TRUE(IsWindow(g));  // the window refused it, as during an installation
    guarded.refuse = false;
    backend_->InjectCloseRequest(g);
    Pump();
    EXPECT_FALSE(IsWindow(g));
    EXPECT_EQ(guarded.seen, 2);
}

}  // namespace
}  // namespace FrameworkTest
