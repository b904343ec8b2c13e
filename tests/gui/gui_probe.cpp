// A small program that opens a real window from a test skin: a 600x400 layout with a
// dozen images (alpha, nine-slice, state images), Chinese text and a few controls.
// Used by the Xvfb tests and the framework benchmark.
//
//   framework_gui_probe <skin folder> [--repaint-bench N]
//
// It writes the skin into the folder, opens the window and reports on standard output:
//   READY <window x> <window y> <okBtn x> <okBtn y> <closebtn x> <closebtn y>
//       once the window has been shown and painted (screen coordinates of the centres);
//   CLICK <name>           for every click notification;
//   TEXT <utf-8 text>      the edit's text whenever it changes;
//   REPAINT <microseconds> the mean full-window repaint time (with --repaint-bench);
//   MOVE <x> <y>           when the window has moved (after READY);
//   CLOSED <result>        when the window has closed.

#include <cairo.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>

#include "framework/edit.h"
#include "framework/message_loop.h"
#include "framework/resource_manager.h"
#include "framework/window_base.h"
#include "platform/text_encoding.h"

using namespace Framework;

namespace {

const char* kLayout = R"(<?xml version="1.0" encoding="UTF-8"?>
<Window size="600,400" caption="0,0,0,35" roundcorner="6,6">
  <Font id="0" name="微软雅黑" size="14" default="true"/>
  <Font id="1" name="微软雅黑" size="18"/>
  <Font id="5" name="微软雅黑" size="32"/>
  <VerticalLayout name="winCtn" bkimage="res\probe\bg.png">
    <HorizontalLayout height="45">
      <Control width="10"/>
      <Label text="Parlumo 安装程序" font="1" textcolor="#FFFFFFFF" width="240"/>
      <Control/>
      <VerticalLayout width="72"><Control height="12"/>
        <HorizontalLayout height="24">
          <Button name="minbtn" width="24" height="24" normalimage="res/probe/min1.png" hotimage="res/probe/min2.png" pushedimage="res/probe/min3.png"/>
          <Control width="24"/>
          <Button name="closebtn" width="24" height="24" normalimage="res/probe/close1.png" hotimage="res/probe/close2.png" pushedimage="res/probe/close3.png"/>
        </HorizontalLayout>
      </VerticalLayout>
      <Control width="14"/>
    </HorizontalLayout>
    <HorizontalLayout height="80"><Control/><Label width="292" bkimage="file='res/probe/logo.png' fade='255'"/><Control/></HorizontalLayout>
    <HorizontalLayout height="50"><Control/>
      <Label name="title" text="安装完成 – 欢迎使用" font="5" textcolor="#FF282A43" width="420" align="center"/><Control/></HorizontalLayout>
    <Control height="10"/>
    <HorizontalLayout height="36"><Control width="52"/>
      <Label text="安装路径：" width="80" textcolor="#FF1A1A1A"/>
      <Edit name="installDirEdit" width="340" textpadding="9,0,9,3" textcolor="#FF333333" bkimage="file='res/probe/edit.png' corner='4,4,4,4'"/>
      <Control/></HorizontalLayout>
    <Control height="16"/>
    <HorizontalLayout height="18"><Control width="52"/>
      <CheckBox name="createDSCb" width="150" text="创建桌面快捷方式" selected="true" textcolor="#FF1A1A1A"
        normalimage="file='res/probe/cb1.png' dest='0,2,15,16'" selectedimage="file='res/probe/cb2.png' dest='0,2,15,16'" textpadding="22,0,0,0"/>
      <Control/></HorizontalLayout>
    <Control height="20"/>
    <HorizontalLayout height="46"><Control/>
      <Button name="okBtn" width="200" text="立即安装" font="1" textcolor="#FFFFFFFF"
        normalimage="res/probe/btn1.png" hotimage="res/probe/btn2.png" pushedimage="res/probe/btn3.png"/>
      <Control/></HorizontalLayout>
    <Control height="24"/>
    <HorizontalLayout height="8"><Control/>
      <Progress name="installPrg" width="520" bkimage="file='res/probe/prg1.png' corner='2,2,2,2' mask='#FF0000'" foreimage="file='res/probe/prg2.png' corner='2,2,2,2'"/>
      <Control/></HorizontalLayout>
    <Control/>
  </VerticalLayout>
</Window>)";

void WriteImage(const std::filesystem::path& path, int w, int h, const std::function<void(cairo_t*)>& draw) {
    std::filesystem::create_directories(path.parent_path());
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    draw(cr);
    cairo_destroy(cr);
    cairo_surface_write_to_png(s, path.string().c_str());
    cairo_surface_destroy(s);
}

void RoundButton(cairo_t* cr, int w, int h, double r, double g, double b) {
    cairo_new_sub_path(cr);
    const double radius = h / 2.0;
    cairo_arc(cr, radius, radius, radius, M_PI / 2, 3 * M_PI / 2);
    cairo_arc(cr, w - radius, radius, radius, -M_PI / 2, M_PI / 2);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_fill(cr);
}

struct Rgb {
    double r, g, b;
};

// A box with a one-pixel frame: `frame` on the outer pixels, `inside` within.
void WriteFramedBox(const std::filesystem::path& path, int w, int h, Rgb frame, Rgb inside) {
    WriteImage(path, w, h, [=](cairo_t* cr) {
        cairo_set_source_rgb(cr, frame.r, frame.g, frame.b);
        cairo_paint(cr);
        cairo_set_source_rgb(cr, inside.r, inside.g, inside.b);
        cairo_rectangle(cr, 1, 1, w - 2, h - 2);
        cairo_fill(cr);
    });
}

void WriteSkin(const std::filesystem::path& folder) {
    const auto res = folder / "res" / "probe";
    WriteImage(res / "bg.png", 600, 400, [](cairo_t* cr) {
        cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, 400);
        cairo_pattern_add_color_stop_rgb(p, 0, 0.09, 0.46, 1.0);
        cairo_pattern_add_color_stop_rgb(p, 0.12, 0.09, 0.46, 1.0);
        cairo_pattern_add_color_stop_rgb(p, 0.121, 0.97, 0.98, 1.0);
        cairo_pattern_add_color_stop_rgb(p, 1, 0.90, 0.93, 0.98);
        cairo_set_source(cr, p);
        cairo_paint(cr);
        cairo_pattern_destroy(p);
    });
    WriteImage(res / "logo.png", 292, 62, [](cairo_t* cr) {
        // A soft, half-transparent disc and a solid bar: alpha edges show on the background.
        cairo_pattern_t* p = cairo_pattern_create_radial(31, 31, 0, 31, 31, 31);
        cairo_pattern_add_color_stop_rgba(p, 0, 0.09, 0.46, 1.0, 1.0);
        cairo_pattern_add_color_stop_rgba(p, 1, 0.09, 0.46, 1.0, 0.0);
        cairo_set_source(cr, p);
        cairo_arc(cr, 31, 31, 31, 0, 2 * M_PI);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        cairo_set_source_rgba(cr, 0.16, 0.16, 0.26, 0.85);
        cairo_rectangle(cr, 72, 22, 200, 18);
        cairo_fill(cr);
    });
    const double shades[3] = {1.0, 0.8, 0.6};
    const char* names[3] = {"1", "2", "3"};
    for (int i = 0; i < 3; ++i) {
        const double s = shades[i];
        WriteImage(res / (std::string("btn") + names[i] + ".png"), 200, 46,
                   [s](cairo_t* cr) { RoundButton(cr, 200, 46, 0.09 * s, 0.46 * s, 1.0 * s); });
        WriteImage(res / (std::string("min") + names[i] + ".png"), 24, 24, [s](cairo_t* cr) {
            cairo_set_source_rgba(cr, 1, 1, 1, 0.9 * s);
            cairo_rectangle(cr, 6, 11, 12, 2);
            cairo_fill(cr);
        });
        WriteImage(res / (std::string("close") + names[i] + ".png"), 24, 24, [s](cairo_t* cr) {
            cairo_set_source_rgba(cr, 1, 1, 1, 0.9 * s);
            cairo_set_line_width(cr, 2);
            cairo_move_to(cr, 6, 6);
            cairo_line_to(cr, 18, 18);
            cairo_move_to(cr, 18, 6);
            cairo_line_to(cr, 6, 18);
            cairo_stroke(cr);
        });
    }
    WriteFramedBox(res / "edit.png", 340, 36, {0.8, 0.82, 0.86}, {1, 1, 1});
    WriteImage(res / "cb1.png", 15, 14, [](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0.55, 0.57, 0.69);
        cairo_rectangle(cr, 0.5, 0.5, 14, 13);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    });
    WriteImage(res / "cb2.png", 15, 14, [](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0.09, 0.46, 1.0);
        cairo_rectangle(cr, 0, 0, 15, 14);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, 3, 7);
        cairo_line_to(cr, 6, 10);
        cairo_line_to(cr, 12, 3);
        cairo_stroke(cr);
    });
    // The red frame is masked away by mask='#FF0000'.
    WriteFramedBox(res / "prg1.png", 410, 8, {1, 0, 0}, {0.85, 0.88, 0.93});
    WriteImage(res / "prg2.png", 520, 8, [](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0.09, 0.46, 1.0);
        cairo_paint(cr);
    });
}

class ProbeWindow : public CWindowBase {
public:
    std::wstring GetWindowClassName() const override { return L"ProbeWnd"; }
    std::wstring GetSkinFile() const override { return L"ProbeWnd.xml"; }
    LRESULT OnWindowMessage(UINT message, WPARAM, LPARAM lParam, bool& handled) override {
        handled = false;
        // Ready once the window is on screen and painted, whichever happens last: an
        // exposure after the first paint shows the back buffer again at once.
        if (message == kMessageExpose) exposed_ = true;
        if (message == WM_MOVE && ready_) {
            std::printf("MOVE %d %d\n", PointParamX(lParam), PointParamY(lParam));
            std::fflush(stdout);
        }
        if (message == WM_PAINT) painted_ = true;
        if (exposed_ && painted_ && !ready_) {
            ready_ = true;
            PostMessage(kReadyMessage);
        }
        return 0;
    }
    LRESULT OnCustomMessage(UINT message, WPARAM, LPARAM, bool& handled) override {
        handled = message == kReadyMessage;
        if (handled) Ready();
        return 0;
    }
    void OnNotify(TNotifyUI& msg) override {
        if (msg.sType == L"textchanged") {
            std::printf("TEXT %s\n", Platform::WideToUtf8(msg.pSender->GetText()).c_str());
            std::fflush(stdout);
        }
        CWindowBase::OnNotify(msg);
    }
    void OnControlClick(TNotifyUI& msg) override {
        std::printf("CLICK %s\n", Platform::WideToUtf8(msg.pSender->GetName()).c_str());
        std::fflush(stdout);
        CWindowBase::OnControlClick(msg);
    }
    int repaintRuns = 0;

private:
    static constexpr UINT kReadyMessage = WM_USER + 7;
    void Ready() {
        const Rect window = GetWindowRect();
        auto centre = [&](const wchar_t* name) {
            const Rect r = FindControl(name)->GetPos();
            return Point{window.left + (r.left + r.right) / 2, window.top + (r.top + r.bottom) / 2};
        };
        const Point ok = centre(L"okBtn"), close = centre(L"closebtn"), edit = centre(L"installDirEdit");
        std::printf("READY %d %d %d %d %d %d %d %d\n", window.left, window.top, ok.x, ok.y, close.x, close.y, edit.x,
                    edit.y);
        std::fflush(stdout);
        if (repaintRuns > 0) {
            CPaintManager& pm = GetPaintManager();
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < repaintRuns; ++i) {
                pm.Invalidate();
                pm.Paint();
            }
            const auto spent = std::chrono::steady_clock::now() - start;
            std::printf("REPAINT %lld\n",
                        static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(spent).count() /
                                               repaintRuns));
            std::fflush(stdout);
        }
    }
    bool ready_ = false;
    bool exposed_ = false;
    bool painted_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <skin folder> [--repaint-bench N]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    WriteSkin(folder);
    std::ofstream(folder / "ProbeWnd.xml") << kLayout;
    if (!MessageLoop::Instance().Initialize(BackendKind::X11)) {
        std::fprintf(stderr, "no X display\n");
        return 3;
    }
    ResourceManager::Instance().SetReader(std::make_unique<FolderResourceReader>(Platform::Utf8ToWide(folder.string())));
    ProbeWindow window;
    if (argc >= 4 && std::strcmp(argv[2], "--repaint-bench") == 0) window.repaintRuns = std::atoi(argv[3]);
    if (!window.Create(0, L"Parlumo", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0)) {
        std::fprintf(stderr, "%s\n", Platform::WideToUtf8(window.LayoutError()).c_str());
        return 1;
    }
    window.CenterWindow();
    const UINT result = window.ShowModal();
    std::printf("CLOSED %u\n", result);
    std::fflush(stdout);
    MessageLoop::Instance().Shutdown();
    return 0;
}
