// Painting: colours, images with alpha, nine-slice margins, masks, fades, holes, dest
// rectangles, missing images, text with Chinese fallback, and repaints limited to what
// was invalidated.

#include "framework_fixture.h"

#include "framework/button.h"
#include "framework/label.h"
#include "framework/progress.h"
#include "framework/render_engine.h"

namespace FrameworkTest {
namespace {

class FrameworkPaint : public HeadlessFixture {
protected:
    // One 100x40 label per image attribute, stacked on a white window.
    HWND OpenImages(const std::vector<std::string>& images) {
        std::string xml = R"(<Window size="100,)" + std::to_string(40 * images.size()) +
                          R"("><VerticalLayout bkcolor="#FFFFFFFF">)";
        for (std::size_t i = 0; i < images.size(); ++i) {
            xml += "<Label name=\"l" + std::to_string(i) + "\" height=\"40\" bkimage=\"" + images[i] + "\"/>";
        }
        xml += "</VerticalLayout></Window>";
        return Open(window_, xml);
    }
    RecordingWindow window_{L"paint.xml"};
};

TEST_F(FrameworkPaint, ColoursAndHalfTransparentImagesCompositeCorrectly) {
    WritePng("half.png", 10, 10, 0x80FF0000);
    const HWND hwnd = OpenImages({"half.png", "missing.png"});
    ASSERT_NE(hwnd, 0u);
    const std::uint32_t p = Pixel(hwnd, 50, 20);
    EXPECT_EQ(Alpha(p), 255);
    EXPECT_EQ(Red(p), 255);
    EXPECT_NEAR(Green(p), 127, 2);
    EXPECT_NEAR(Blue(p), 127, 2);
    // A missing image is simply not drawn.
    EXPECT_EQ(Pixel(hwnd, 50, 60), 0xFFFFFFFFu);
}

TEST_F(FrameworkPaint, WindowAreasWithoutContentStayTransparentForPerPixelAlpha) {
    const HWND hwnd = Open(window_, R"(<Window size="50,50"><VerticalLayout><Label height="10" bkcolor="#FF000000"/></VerticalLayout></Window>)");
    EXPECT_EQ(Pixel(hwnd, 5, 5), 0xFF000000u);
    EXPECT_EQ(Pixel(hwnd, 5, 30), 0u);
}

TEST_F(FrameworkPaint, ImageDescriptionsControlWhereAndHowTheImageIsDrawn) {
    // 10x10: two blue columns at each side, green inside.
    {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 10, 10);
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, 0, 0, 1);
        cairo_paint(cr);
        cairo_set_source_rgb(cr, 0, 1, 0);
        cairo_rectangle(cr, 2, 0, 6, 10);
        cairo_fill(cr);
        cairo_destroy(cr);
        cairo_surface_write_to_png(s, (skin_ + "/edges.png").c_str());
        cairo_surface_destroy(s);
    }
    WritePng("red.png", 4, 4, 0xFFFF0000);
    const HWND hwnd = OpenImages({
        "file='edges.png' corner='2,0,2,0'",  // l0: margins kept 2 px wide
        "edges.png",                           // l1: stretched: blue edges 20 px wide
        "file='red.png' mask='#FF0000'",       // l2: masked away
        "file='red.png' fade='0'",             // l3: fully faded
        "file='edges.png' corner='2,0,2,0' hole='true'",  // l4: centre skipped
        "file='red.png' dest='10,10,20,20'",   // l5: only inside dest
        "file='red.png' fade='128'",           // l6: half
    });
    ASSERT_NE(hwnd, 0u);
    auto isBlue = [](std::uint32_t p) { return Blue(p) > 200 && Green(p) < 60; };
    auto isGreen = [](std::uint32_t p) { return Green(p) > 200 && Blue(p) < 60; };
    EXPECT_TRUE(isBlue(Pixel(hwnd, 1, 20)));
    EXPECT_TRUE(isGreen(Pixel(hwnd, 5, 20))) << std::hex << Pixel(hwnd, 5, 20) << " " << Pixel(hwnd, 5, 5) << " " << Pixel(hwnd, 5, 35);
    EXPECT_TRUE(isGreen(Pixel(hwnd, 94, 20))) << std::hex << Pixel(hwnd, 94, 20);
    EXPECT_TRUE(isBlue(Pixel(hwnd, 98, 20))) << std::hex << Pixel(hwnd, 98, 20) << " " << Pixel(hwnd, 99, 20) << " " << Pixel(hwnd, 97, 20);
    EXPECT_TRUE(isBlue(Pixel(hwnd, 15, 60)));
    EXPECT_TRUE(isGreen(Pixel(hwnd, 50, 60)));
    EXPECT_EQ(Pixel(hwnd, 50, 100), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(hwnd, 50, 140), 0xFFFFFFFFu);
    EXPECT_TRUE(isBlue(Pixel(hwnd, 1, 180)));
    EXPECT_EQ(Pixel(hwnd, 50, 180), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(hwnd, 15, 215), 0xFFFF0000u);
    EXPECT_EQ(Pixel(hwnd, 5, 205), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(hwnd, 25, 225), 0xFFFFFFFFu);
    EXPECT_NEAR(Green(Pixel(hwnd, 50, 260)), 127, 2);
}

TEST_F(FrameworkPaint, ProgressFillCoversTheValuesShareAndClamps) {
    WritePng("track.png", 10, 8, 0xFF0000FF);
    WritePng("fill.png", 10, 8, 0xFF00FF00);
    const HWND hwnd = Open(window_, R"(<Window size="200,8"><VerticalLayout>
        <Progress name="p" bkimage="track.png" foreimage="file='fill.png' corner='2,2,2,2'"/></VerticalLayout></Window>)");
    auto* progress = static_cast<CProgress*>(window_.FindControl(L"p"));
    EXPECT_EQ(Blue(Pixel(hwnd, 5, 4)), 255);
    progress->SetValue(50);
    Pump();
    EXPECT_EQ(Pixel(hwnd, 5, 4), 0xFF00FF00u);
    EXPECT_EQ(Pixel(hwnd, 98, 4), 0xFF00FF00u);
    EXPECT_EQ(Pixel(hwnd, 102, 4), 0xFF0000FFu);
    progress->SetValue(250);
    EXPECT_EQ(progress->GetValue(), 100);
    progress->SetValue(-3);
    EXPECT_EQ(progress->GetValue(), 0);
}

TEST_F(FrameworkPaint, ChineseTextFindsAFaceAndIsDrawn) {
    const FontSpec font{L"微软雅黑", 14};
    for (const wchar_t* text : {L"安装完成", L"正在安装中:0%，请稍候...", L"《用户许可协议》"}) {
        EXPECT_EQ(RenderEngine::UnknownGlyphCount(text, font), 0) << Platform::WideToUtf8(text);
    }
    const Size one = RenderEngine::MeasureText(L"安装", font, DT_SINGLELINE);
    const Size two = RenderEngine::MeasureText(L"安装完成", font, DT_SINGLELINE);
    EXPECT_GT(one.cx, 20);
    EXPECT_GT(two.cx, one.cx + 20);
    EXPECT_GE(one.cy, 14);
    const Size lines = RenderEngine::MeasureText(L"安装程序检测到Parlumo\r\n正在运行", font, DT_WORDBREAK);
    EXPECT_GE(lines.cy, 2 * one.cy - 2);

    const HWND hwnd = Open(window_, R"(<Window size="200,50"><Font id="0" name="微软雅黑" size="20" default="true"/>
        <VerticalLayout bkcolor="#FFFFFFFF"><Label name="t" text="安装完成" textcolor="#FF000000" align="center"/></VerticalLayout></Window>)");
    int dark = 0;
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 200; ++x) dark += Red(Pixel(hwnd, x, y)) < 100;
    }
    EXPECT_GT(dark, 60);
    // Measured in the window's font for window code.
    EXPECT_EQ(window_.GetPaintManager().MeasureText(L"安装完成", 0, DT_SINGLELINE),
              RenderEngine::MeasureText(L"安装完成", FontSpec{L"微软雅黑", 20}, DT_SINGLELINE));
}

TEST_F(FrameworkPaint, ARepaintCoversOnlyWhatWasInvalidated) {
    const HWND hwnd = Open(window_, R"(<Window size="300,200"><VerticalLayout bkcolor="#FFFFFFFF">
        <Label name="a" height="20"/><Label name="b" height="30" bkcolor="#FF00FF00"/><Control/></VerticalLayout></Window>)");
    const int before = backend_->State(hwnd)->presents;
    window_.FindControl(L"b")->SetBkColor(0xFFFF0000u);
    Pump();
    EXPECT_EQ(backend_->State(hwnd)->presents, before + 1);
    EXPECT_EQ(backend_->State(hwnd)->lastDirty, (Rect{0, 20, 300, 50}));
    EXPECT_EQ(Pixel(hwnd, 10, 30), 0xFFFF0000u);
    // Several changes before the next paint are shown in one present.
    window_.FindControl(L"a")->SetText(L"x");
    window_.FindControl(L"b")->SetBkColor(0xFF0000FFu);
    Pump();
    EXPECT_EQ(backend_->State(hwnd)->presents, before + 2);
    // Nothing changed: no paint at all.
    Pump();
    EXPECT_EQ(backend_->State(hwnd)->presents, before + 2);
}

TEST_F(FrameworkPaint, OutlinedButtonsKeepTheirBorderWhenHotAndChangeTextColour) {
    const HWND hwnd = Open(window_, R"(<Window size="100,40"><VerticalLayout bkcolor="#FFFFFFFF">
        <Button name="ok" text="是" textcolor="#FF1890FF" hottextcolor="#FF5A9DFD" bordercolor="#FF1890FF" bordersize="1"
                hotborercolor="#FFFF0000" bkcolor="#FFFFFFFF" hotbkcolor="#FFEEEEEE"/></VerticalLayout></Window>)");
    const std::uint32_t border = Pixel(hwnd, 0, 20);
    backend_->InjectMouseMove(hwnd, 50, 20);
    Pump();
    EXPECT_TRUE(static_cast<CButton*>(window_.FindControl(L"ok"))->IsHot());
    EXPECT_EQ(Pixel(hwnd, 0, 20), border);
    EXPECT_EQ(Pixel(hwnd, 5, 5), 0xFFEEEEEEu);
}

}  // namespace
}  // namespace FrameworkTest
