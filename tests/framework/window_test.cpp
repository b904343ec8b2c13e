// Window operations: creation styles, centring, sizes from the layout, icons, sent
// messages, the string table and the instance folder.

#include "framework_fixture.h"

#include "framework/combo.h"

namespace FrameworkTest {
namespace {

const char* kLayout = R"(<Window size="360,180" caption="0,0,0,30"><VerticalLayout><Label name="textLbl"/></VerticalLayout></Window>)";

class FrameworkWindow : public HeadlessFixture {};

TEST_F(FrameworkWindow, CreationDropsTheSystemCaptionAndTakesItsSizeFromTheLayout) {
    RecordingWindow window(L"box.xml");
    WriteSkinFile("box.xml", kLayout);
    const HWND hwnd = window.Create(0, L"消息框", 0x10CF0000, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT);
    ASSERT_NE(hwnd, 0u);
    EXPECT_EQ(window.GetStyle() & WS_CAPTION, 0u);
    EXPECT_EQ(window.GetStyle() & (WS_CLIPSIBLINGS | WS_CLIPCHILDREN), WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    EXPECT_TRUE(window.GetStyle() & WS_VISIBLE);
    EXPECT_EQ(backend_->State(hwnd)->request.style & WS_CAPTION, 0u);  // the native window has no frame
    EXPECT_EQ(window.GetWindowRect().Width(), 360);
    EXPECT_EQ(window.GetWindowRect().Height(), 180);
    EXPECT_NE(window.GetNativeHandle(), 0u);
    window.SetStyle((window.GetStyle() & 0xFF3EFFFF) | 0x06000000);
    window.SetExStyle(window.GetExStyle() & ~WS_EX_TOPMOST);
    EXPECT_EQ(backend_->State(hwnd)->request.style & WS_MAXIMIZEBOX, 0u);
}

TEST_F(FrameworkWindow, CentringUsesTheOwnerOrTheWorkAreaAndStaysInside) {
    backend_->SetWorkArea({0, 0, 1000, 700});
    RecordingWindow owner(L"owner.xml");
    WriteSkinFile("owner.xml", R"(<Window size="600,400"><Control/></Window>)");
    ASSERT_NE(owner.Create(0, L"o", WS_VISIBLE, 0), 0u);
    owner.CenterWindow();
    EXPECT_EQ(owner.GetWindowRect(), (Rect{200, 150, 800, 550}));

    RecordingWindow box(L"box.xml");
    WriteSkinFile("box.xml", kLayout);
    ASSERT_NE(box.Create(owner.GetHWND(), L"b", 0, 0), 0u);
    box.CenterWindow();
    EXPECT_EQ(box.GetWindowRect(), (Rect{320, 260, 680, 440}));

    // An owner near the edge: the box is pushed back into the work area.
    owner.MoveWindow(-250, 500);
    box.CenterWindow();
    EXPECT_EQ(box.GetWindowRect(), (Rect{0, 520, 360, 700}));

    // A minimised owner: centred in the work area instead.
    owner.Minimize();
    box.CenterWindow();
    EXPECT_EQ(box.GetWindowRect(), (Rect{320, 260, 680, 440}));
    // Centring never changes the size.
    EXPECT_EQ(box.GetWindowRect().Width(), 360);
}

TEST_F(FrameworkWindow, SentMessagesRunAtOnceAndPostedOnesLater) {
    RecordingWindow window(L"box.xml");
    const HWND hwnd = Open(window, kLayout);
    window.onCustom = [](UINT message, WPARAM wParam, LPARAM, bool& handled) -> LRESULT {
        handled = message == WM_USER + 5;
        return static_cast<LRESULT>(wParam * 2);
    };
    EXPECT_EQ(SendMessage(hwnd, WM_USER + 5, 21), 42);
    EXPECT_TRUE(window.PostMessage(WM_USER + 5, 1));
    const std::size_t before = window.customMessages.size();
    Pump();
    EXPECT_EQ(window.customMessages.size(), before + 1);
    EXPECT_EQ(window.customMessages.back().wParam, 1u);
}

TEST_F(FrameworkWindow, IconsComeFromPngBytesAndBrokenBytesAreRefused) {
    RecordingWindow window(L"box.xml");
    const HWND hwnd = Open(window, kLayout);
    WritePng("icon.png", 32, 32, 0xFF336699);
    EXPECT_TRUE(window.SetIconFromPng(TestSupport::ReadFile(skin_ + "/icon.png")));
    EXPECT_TRUE(backend_->State(hwnd)->hasIcon);
    RecordingWindow other(L"box.xml");
    const HWND otherHwnd = other.Create(0, L"x", 0, 0);
    EXPECT_FALSE(other.SetIconFromPng("not a png"));
    EXPECT_FALSE(backend_->State(otherHwnd)->hasIcon);
}

TEST_F(FrameworkWindow, StringTableAndInstanceFolder) {
    ResourceManager& resources = ResourceManager::Instance();
    resources.SetText(104, L"磁盘空间不足");
    EXPECT_EQ(resources.GetText(104), L"磁盘空间不足");
    EXPECT_EQ(resources.GetText(105), L"");
    resources.ClearTexts();
    EXPECT_EQ(resources.GetText(104), L"");
    const std::wstring folder = resources.InstanceFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), L'/');
    EXPECT_TRUE(Platform::PathExists(folder + L"framework_test"));
}

TEST_F(FrameworkWindow, AWindowWithoutLayoutHasNoContentAndIsNotReady) {
    RecordingWindow window(L"");
    const HWND hwnd = window.Create(0, L"plain", WS_VISIBLE, 0, 10, 20, 200, 100);
    ASSERT_NE(hwnd, 0u);
    EXPECT_EQ(window.readyCount, 0);
    EXPECT_EQ(window.GetPaintManager().GetRoot(), nullptr);
    EXPECT_EQ(window.GetWindowRect(), (Rect{10, 20, 210, 120}));
    Pump();  // paints nothing, crashes nothing
}

TEST_F(FrameworkWindow, ShowingMinimisingAndClosingReachTheWindowHookInOrder) {
    struct Watcher : RecordingWindow {
        using RecordingWindow::RecordingWindow;
        std::vector<std::wstring> seen;
        LRESULT OnWindowMessage(UINT m, WPARAM w, LPARAM, bool& handled) override {
            handled = false;
            if (m == WM_SHOWWINDOW) seen.push_back(w ? L"show" : L"hide");
            if (m == WM_SIZE) seen.push_back(w == SIZE_MINIMIZED ? L"minimized" : L"size");
            if (m == WM_CLOSE) seen.push_back(L"close:" + std::to_wstring(w));
            if (m == WM_DESTROY) seen.push_back(L"destroy");
            if (m == WM_NCDESTROY) seen.push_back(L"ncdestroy");
            return 0;
        }
    } window(L"box.xml");
    WriteSkinFile("box.xml", kLayout);
    ASSERT_NE(window.Create(0, L"w", 0, 0), 0u);
    window.ShowWindow(true);
    window.SendMessage(WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_TRUE(window.GetStyle() & WS_MINIMIZE);
    EXPECT_TRUE(backend_->State(window.GetHWND())->minimized);
    window.Close(2);
    Pump();
    EXPECT_EQ(window.seen, (std::vector<std::wstring>{L"size", L"size", L"show", L"minimized", L"close:2", L"destroy",
                                                      L"ncdestroy"}));
}

TEST_F(FrameworkWindow, ComboItemsComeFromChildElements) {
    RecordingWindow window(L"combo.xml");
    Open(window, R"(<Window size="200,100"><VerticalLayout><Combo name="languageCombo" height="24">
        <ListLabelElement text="简体中文"/><ListLabelElement text="English"/></Combo></VerticalLayout></Window>)");
    auto* combo = static_cast<CCombo*>(window.FindControl(L"languageCombo")->GetInterface(L"Combo"));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->GetItemCount(), 2);
    EXPECT_EQ(combo->GetItemText(0), L"简体中文");
    EXPECT_EQ(combo->GetClass(), L"Combo");
}

TEST_F(FrameworkWindow, LayeredCompanionsShowTheBitmapTheyAreHandedAndLetClicksThrough) {
    RecordingWindow owner(L"box.xml");
    const HWND ownerHwnd = Open(owner, kLayout);
    RecordingWindow shadow(L"");
    const HWND hwnd = shadow.Create(ownerHwnd, L"", WS_POPUPWINDOW, WS_EX_LAYERED | WS_EX_TRANSPARENT);
    ASSERT_NE(hwnd, 0u);
    EXPECT_TRUE(backend_->State(hwnd)->clickThrough);
    shadow.ShowWindow(true, false);
    cairo_surface_t* bitmap = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 40, 30);
    cairo_t* cr = cairo_create(bitmap);
    cairo_set_source_rgba(cr, 0, 0, 0, 20 / 255.0);  // a faint shadow
    cairo_paint(cr);
    cairo_destroy(cr);
    ASSERT_TRUE(UpdateLayeredWindow(hwnd, bitmap, {100, 50, 140, 80}));
    Pump();  // its own paints must not wipe the bitmap
    EXPECT_EQ(shadow.GetWindowRect(), (Rect{100, 50, 140, 80}));
    EXPECT_EQ(Alpha(Pixel(hwnd, 20, 15)), 20);
    backend_->Inject(hwnd, WM_MOUSEMOVE, 0, MakePointParam(5, 5));
    Pump();
    EXPECT_EQ(backend_->ActiveWindow(), ownerHwnd);  // showing it never took the activation
    EXPECT_FALSE(UpdateLayeredWindow(0x7FFFFFF, bitmap, {}));
    cairo_surface_destroy(bitmap);
}

TEST_F(FrameworkWindow, DestroyingTheObjectDestroysItsWindow) {
    HWND hwnd = 0;
    {
        RecordingWindow window(L"box.xml");
        hwnd = Open(window, kLayout);
        ASSERT_TRUE(IsWindow(hwnd));
    }
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(backend_->State(hwnd), nullptr);
}

}  // namespace
}  // namespace FrameworkTest
