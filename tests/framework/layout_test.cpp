// Layout building and the layout pass: fixed and flexible children, padding, pos,
// visibility changes, nested layouts, tab pages, and what bad layouts get.

#include "framework_fixture.h"

#include <cstring>

#include "framework/button.h"
#include "framework/check_box.h"
#include "framework/container.h"
#include "framework/label.h"
#include "framework/progress.h"

namespace FrameworkTest {
namespace {

const char* kTitleBarLayout = R"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="600,400" caption="0,0,0,35" roundcorner="2,2" showshadow="true" shadowsize="6" shadowcolor="#26003B76">
  <Font id="0" name="微软雅黑" size="14" default="true"/>
  <Font id="1" name="微软雅黑" size="18"/>
  <VerticalLayout name="winCtn" bkcolor="#FFFFFFFF">
    <HorizontalLayout name="title" height="45">
      <Control width="10"/>
      <TabLayout name="titleTabLt" width="200">
        <Control/>
        <VerticalLayout name="page1"><Control height="11"/><Button name="backBtn" width="64" height="30"/></VerticalLayout>
      </TabLayout>
      <Control/>
      <VerticalLayout width="72"><Control height="12"/>
        <HorizontalLayout name="titleGrpCtn" height="24">
          <Button name="minbtn" width="24" height="24"/><Control width="24"/><Button name="closebtn" width="24" height="24"/>
        </HorizontalLayout>
      </VerticalLayout>
      <Control width="14"/>
    </HorizontalLayout>
    <HorizontalLayout name="client">
      <Control width="1"/>
      <VerticalLayout name="column">
        <Control height="50"/>
        <Label name="a" height="20" padding="5,3,7,4"/>
        <Label name="flex1"/>
        <Label name="hidden" height="30" visible="false"/>
        <Label name="flex2"/>
        <Progress name="bar" width="520" height="8" pos="0,0,520,8"/>
      </VerticalLayout>
      <Control width="1"/>
    </HorizontalLayout>
  </VerticalLayout>
</Window>)";

class FrameworkLayout : public HeadlessFixture {};

Rect PosOf(CWindowBase& window, const wchar_t* name) {
    CControl* control = window.FindControl(name);
    EXPECT_NE(control, nullptr) << Platform::WideToUtf8(name);
    return control ? control->GetPos() : Rect{};
}

TEST_F(FrameworkLayout, FixedChildrenKeepTheirSizeAndFlexibleOnesShareTheRest) {
    RecordingWindow window(L"main.xml");
    ASSERT_NE(Open(window, kTitleBarLayout), 0u);
    EXPECT_EQ(window.GetWindowRect().Width(), 600);
    EXPECT_EQ(window.GetWindowRect().Height(), 400);

    const struct { const wchar_t* name; Rect expected; } cases[] = {
        {L"winCtn", {0, 0, 600, 400}},
        {L"title", {0, 0, 600, 45}},
        {L"titleTabLt", {10, 0, 210, 45}},
        // 600 - 10 - 200 - 72 - 14 = 304 for the flexible spacer, so the column starts at 514.
        {L"titleGrpCtn", {514, 12, 586, 36}},
        {L"minbtn", {514, 12, 538, 36}},
        {L"closebtn", {562, 12, 586, 36}},
        {L"client", {0, 45, 600, 400}},
        {L"column", {1, 45, 599, 400}},
        // Padding is space outside the control: 5 left, 3 above, 7 right, 4 below.
        {L"a", {6, 98, 592, 118}},
        // 355 high column - 50 - 27 (a with padding) - 8 (bar) = 270 shared by two.
        {L"flex1", {1, 122, 599, 257}},
        {L"flex2", {1, 257, 599, 392}},
        {L"bar", {1, 392, 521, 400}},
    };
    for (const auto& c : cases) EXPECT_EQ(PosOf(window, c.name), c.expected) << Platform::WideToUtf8(c.name);
}

TEST_F(FrameworkLayout, VisibilityAndFixedWidthChangesReflowTheParent) {
    RecordingWindow window(L"main.xml");
    ASSERT_NE(Open(window, kTitleBarLayout), 0u);
    window.FindControl(L"hidden")->SetVisible(true);
    Pump();
    // 270 - 30 = 240 now shared.
    EXPECT_EQ(PosOf(window, L"flex1"), (Rect{1, 122, 599, 242}));
    EXPECT_EQ(PosOf(window, L"hidden"), (Rect{1, 242, 599, 272}));
    EXPECT_EQ(PosOf(window, L"flex2"), (Rect{1, 272, 599, 392}));

    window.FindControl(L"minbtn")->SetVisible(false);
    window.FindControl(L"titleTabLt")->SetFixedWidth(100);
    Pump();
    EXPECT_EQ(PosOf(window, L"closebtn"), (Rect{538, 12, 562, 36}));
    EXPECT_EQ(PosOf(window, L"titleTabLt"), (Rect{10, 0, 110, 45}));
}

TEST_F(FrameworkLayout, TabLayoutShowsOnePageAndNotifiesSelection) {
    RecordingWindow window(L"main.xml");
    ASSERT_NE(Open(window, kTitleBarLayout), 0u);
    auto* tabs = static_cast<CTabLayout*>(window.FindControl(L"titleTabLt")->GetInterface(L"TabLayout"));
    ASSERT_NE(tabs, nullptr);
    CControl* back = window.FindControl(L"backBtn");
    EXPECT_EQ(tabs->GetCurSel(), 0);
    EXPECT_FALSE(back->IsVisible());

    EXPECT_TRUE(tabs->SelectItem(1));
    Pump();
    EXPECT_TRUE(back->IsVisible());
    EXPECT_EQ(back->GetPos(), (Rect{10, 11, 74, 41}));
    EXPECT_EQ(window.notifications, std::vector<std::wstring>{L"tabselect:titleTabLt:1"});

    EXPECT_TRUE(tabs->SelectItem(0, false));
    EXPECT_FALSE(back->IsVisible());
    EXPECT_FALSE(tabs->SelectItem(2));
    EXPECT_FALSE(tabs->SelectItem(-1));
    EXPECT_EQ(window.notifications.size(), 1u);
}

TEST_F(FrameworkLayout, NestedTabPagesStayHiddenUntilTheirOwnPageIsSelected) {
    const char* xml = R"(<Window size="100,100"><TabLayout name="outer">
        <Label name="first"/>
        <TabLayout name="inner"><Label name="innerA"/><Label name="innerB"/></TabLayout>
      </TabLayout></Window>)";
    RecordingWindow window(L"nested.xml");
    ASSERT_NE(Open(window, xml), 0u);
    auto* outer = static_cast<CTabLayout*>(window.FindControl(L"outer"));
    auto* inner = static_cast<CTabLayout*>(window.FindControl(L"inner"));
    EXPECT_FALSE(window.FindControl(L"innerA")->IsVisible());
    outer->SelectItem(1);
    EXPECT_TRUE(window.FindControl(L"innerA")->IsVisible());
    EXPECT_FALSE(window.FindControl(L"innerB")->IsVisible());
    inner->SelectItem(1);
    outer->SelectItem(0);
    outer->SelectItem(1);
    EXPECT_FALSE(window.FindControl(L"innerA")->IsVisible());
    EXPECT_TRUE(window.FindControl(L"innerB")->IsVisible());
}

TEST_F(FrameworkLayout, WindowAttributesFontsAndUnknownsAreKept) {
    RecordingWindow window(L"main.xml");
    ASSERT_NE(Open(window, kTitleBarLayout), 0u);
    CPaintManager& pm = window.GetPaintManager();
    EXPECT_EQ(pm.GetCaptionRect(), (Rect{0, 0, 0, 35}));
    EXPECT_EQ(pm.GetRoundCorner(), (Size{2, 2}));
    ASSERT_NE(window.GetWindowAttribute(L"shadowcolor"), nullptr);
    EXPECT_EQ(*window.GetWindowAttribute(L"shadowcolor"), L"#26003B76");
    EXPECT_EQ(*window.GetWindowAttribute(L"showshadow"), L"true");
    EXPECT_EQ(window.GetWindowAttribute(L"size"), nullptr);  // the framework's own
    EXPECT_EQ(pm.GetFont(1).size, 18);
    EXPECT_EQ(pm.GetFont(-1).size, 14);
    EXPECT_EQ(pm.GetFont(77).size, 14);  // unknown index: the default font
    EXPECT_EQ(backend_->State(window.GetHWND())->roundCorner, (Size{2, 2}));
    EXPECT_EQ(window.readyCount, 1);
}

TEST_F(FrameworkLayout, BadAttributeValuesLeaveDefaultsAndUnknownsAreIgnored) {
    const char* xml = R"(<Window size="200,100"><VerticalLayout>
        <Label name="l" height="abc" width="-5" textcolor="#XYZ" bkcolor="#80FF0000" font="x" textpadding="1,2" wobble="3"/>
        <Button name="b" borderround="1" bordersize="-2" hotborercolor="#FF000000"/>
        <Progress name="p" isstretchfore="false" value="250"/>
      </VerticalLayout></Window>)";
    RecordingWindow window(L"bad.xml");
    ASSERT_NE(Open(window, xml), 0u);
    auto* label = static_cast<CLabel*>(window.FindControl(L"l"));
    EXPECT_EQ(label->GetFixedHeight(), 0);
    EXPECT_EQ(label->GetFixedWidth(), 0);
    EXPECT_EQ(label->GetTextColor(), 0xFF000000u);
    EXPECT_EQ(label->GetBkColor(), 0x80FF0000u);
    EXPECT_EQ(label->GetFont(), -1);
    EXPECT_EQ(label->GetTextPadding(), Rect{});
    EXPECT_EQ(static_cast<CProgress*>(window.FindControl(L"p"))->GetValue(), 100);
}

TEST_F(FrameworkLayout, UnknownElementsGoToTheCustomControlFactory) {
    const char* xml = R"(<Window size="200,100"><VerticalLayout>
        <SequenceLabel name="anim" width="30"><Label name="swallowed"/></SequenceLabel>
        <Mystery name="gone"><Label name="alsoGone"/></Mystery>
        <Label name="after"/>
      </VerticalLayout></Window>)";
    RecordingWindow window(L"custom.xml");
    window.factory = [](std::wstring_view element) -> CControl* {
        return element == L"SequenceLabel" ? new CLabel() : nullptr;
    };
    ASSERT_NE(Open(window, xml), 0u);
    EXPECT_EQ(window.askedElements, (std::vector<std::wstring>{L"SequenceLabel", L"Mystery"}));
    ASSERT_NE(window.FindControl(L"anim"), nullptr);
    EXPECT_EQ(window.FindControl(L"anim")->GetFixedWidth(), 30);
    EXPECT_EQ(window.FindControl(L"gone"), nullptr);
    EXPECT_EQ(window.FindControl(L"alsoGone"), nullptr);
    EXPECT_NE(window.FindControl(L"after"), nullptr);
}

TEST_F(FrameworkLayout, LayoutsThatCannotBeLoadedFailCreation) {
    const struct { const char* name; const char* xml; const wchar_t* errorWord; } cases[] = {
        {nullptr, nullptr, L"not found"},
        {"broken.xml", "<Window size=\"1,1\"><VerticalLayout></Window>", L"cannot be parsed"},
        {"empty.xml", "", L"cannot be parsed"},
        {"notwindow.xml", "<Dialog/>", L"cannot be parsed"},
        {"binary.xml", "\x89PNG\r\n\x1a\n\0\0\0", L"cannot be parsed"},
    };
    for (const auto& c : cases) {
        RecordingWindow window(c.name ? Platform::Utf8ToWide(c.name) : L"missing.xml");
        if (c.name) WriteSkinFile(c.name, std::string(c.xml, c.name == std::string("binary.xml") ? 11 : std::strlen(c.xml)));
        const HWND hwnd = window.Create(0, L"t", WS_VISIBLE, 0);
        EXPECT_EQ(hwnd, 0u) << (c.name ? c.name : "missing");
        EXPECT_FALSE(window.LayoutError().empty());
        EXPECT_NE(window.LayoutError().find(c.errorWord), std::wstring::npos) << Platform::WideToUtf8(window.LayoutError());
        ASSERT_EQ(window.layoutErrors.size(), 1u);
        EXPECT_EQ(window.readyCount, 0);
        EXPECT_EQ(window.GetHWND(), 0u);
    }
}

TEST_F(FrameworkLayout, DeepNestingIsRefusedInsteadOfExhaustingTheStack) {
    std::string xml = "<Window>";
    for (int i = 0; i < 5000; ++i) xml += "<VerticalLayout>";
    for (int i = 0; i < 5000; ++i) xml += "</VerticalLayout>";
    xml += "</Window>";
    RecordingWindow window(L"deep.xml");
    WriteSkinFile("deep.xml", xml);
    EXPECT_EQ(window.Create(0, L"t", 0, 0), 0u);
    EXPECT_NE(window.LayoutError().find(L"deeper"), std::wstring::npos);
}

TEST_F(FrameworkLayout, HugeSizesNeitherOverflowTheLayoutNorMakeGiantWindows) {
    std::string xml = "<Window size=\"1000000,1000000\"><HorizontalLayout>";
    for (int i = 0; i < 3000; ++i) xml += "<Control width=\"1000000\" padding=\"1000000,0,1000000,0\"/>";
    xml += "<Label name=\"last\"/></HorizontalLayout></Window>";
    RecordingWindow window(L"huge.xml");
    ASSERT_NE(Open(window, xml), 0u);
    // The window keeps its default size; the flexible label gets nothing but stays ordered.
    EXPECT_LT(window.GetWindowRect().Width(), 16384);
    const Rect last = window.FindControl(L"last")->GetPos();
    EXPECT_GE(last.left, 0);
    EXPECT_EQ(last.Width(), 0);
}

TEST_F(FrameworkLayout, LayoutNamesAreFoundIgnoringLetterCaseAndEitherSeparator) {
    WriteSkinFile("res/mainWnd/mainWnd.xml", "<Window size=\"120,80\"><Label name=\"x\"/></Window>");
    for (const wchar_t* name : {L"res/mainWnd/mainWnd.xml", L"RES\\MainWnd\\MainWnd.xml"}) {
        RecordingWindow window(name);
        EXPECT_NE(window.Create(0, L"t", 0, 0), 0u) << Platform::WideToUtf8(name);
        EXPECT_NE(window.FindControl(L"x"), nullptr);
    }
    RecordingWindow trailing(L"res/mainWnd/mainWnd.xml ");
    EXPECT_EQ(trailing.Create(0, L"t", 0, 0), 0u);
    RecordingWindow escape(L"../skin.1/res/mainWnd/mainWnd.xml");
    EXPECT_EQ(escape.Create(0, L"t", 0, 0), 0u);
}

}  // namespace
}  // namespace FrameworkTest
