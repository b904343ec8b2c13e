// A real window under Xvfb: a test program opens a window from a test layout, xdotool
// clicks, types and drags, and the clicks, text and moves arrive. A screenshot of the screen
// is kept beside the test binary (framework_window.png) for a person to look at.

#include <gtest/gtest.h>

#include <cairo.h>

#include <chrono>
#include <sstream>
#include <string>

#include "test_support.h"
#include "xvfb_session.h"

namespace GuiTest {
namespace {

using namespace std::chrono_literals;

struct Ready {
    int windowX, windowY, okX, okY, closeX, closeY, editX, editY;
};

std::optional<Ready> ParseReady(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    Ready r{};
    if (in >> word >> r.windowX >> r.windowY >> r.okX >> r.okY >> r.closeX >> r.closeY >> r.editX >> r.editY) return r;
    return std::nullopt;
}

// Reads the probe's lines starting with `prefix` until one is `expected`, within `limit`
// in all (a loaded machine may leave long gaps between the lines); the last such line
// seen, "nothing" when none came.
std::string WaitForExactLine(XvfbSession& session, int probe, const std::string& prefix, const std::string& expected,
                             std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string last = "nothing";
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left <= 0ms) return last;
        const auto line = session.WaitForLine(probe, prefix, left);
        if (!line) return last;
        last = *line;
        if (last == expected) return last;
    }
}

std::uint32_t PixelOf(cairo_surface_t* image, int x, int y) {
    const unsigned char* data = cairo_image_surface_get_data(image);
    return reinterpret_cast<const std::uint32_t*>(data + y * cairo_image_surface_get_stride(image))[x];
}

TEST(FrameworkXvfbWindow, ClicksTypingAndCaptionDragsReachTheWindowAndTheScreenshotShowsIt) {
    if (!XvfbSession::XvfbInstalled()) GTEST_SKIP() << "Xvfb is not installed";
    XvfbSession session;
    std::string error;
    ASSERT_TRUE(session.Start(error)) << error;

    const std::string skin = TestSupport::MakeFolder("guiskin");
    const int probe = session.Spawn({TestSupport::HelperPath("framework_gui_probe"), skin});
    ASSERT_GT(probe, 0);
    const auto readyLine = session.WaitForLine(probe, "READY", 30s);
    ASSERT_TRUE(readyLine) << "the window never showed";
    const auto ready = ParseReady(*readyLine);
    ASSERT_TRUE(ready) << *readyLine;

    ASSERT_EQ(session.Run({"xdotool", "mousemove", std::to_string(ready->okX), std::to_string(ready->okY), "click", "1"}), 0);
    EXPECT_EQ(session.WaitForLine(probe, "CLICK", 20s).value_or("nothing"), "CLICK okBtn");

    // Typing, Chinese included, through the keyboard of the X server.
    ASSERT_EQ(session.Run({"xdotool", "mousemove", std::to_string(ready->editX), std::to_string(ready->editY), "click", "1"}), 0);
    ASSERT_EQ(session.Run({"xdotool", "type", "--delay", "20", "D:/安装"}), 0);
    EXPECT_EQ(WaitForExactLine(session, probe, "TEXT", "TEXT D:/安装", 20s), "TEXT D:/安装");

    // Move the pointer away so no button shows its hot image, then photograph the screen.
    ASSERT_EQ(session.Run({"xdotool", "mousemove", "5", "5"}), 0);
    const std::string shot = std::string(PARLUMO_GUI_ARTIFACTS_DIR) + "/framework_window.png";
    ASSERT_EQ(session.Run({"import", "-window", "root", shot}), 0) << "no screenshot";
    cairo_surface_t* image = cairo_image_surface_create_from_png(shot.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    // The install button is drawn from its normal image: the skin's blue.
    const std::uint32_t button = PixelOf(image, ready->okX - 60, ready->okY);
    EXPECT_NEAR(static_cast<int>((button >> 16) & 0xFF), 23, 12);
    EXPECT_NEAR(static_cast<int>(button & 0xFF), 255, 12);
    // The title line (Chinese, 32 px) left dark glyph pixels in its band.
    int dark = 0;
    for (int y = ready->windowY + 125; y < ready->windowY + 175; ++y) {
        for (int x = ready->windowX + 90; x < ready->windowX + 510; ++x) dark += ((PixelOf(image, x, y) >> 8) & 0xFF) < 90;
    }
    EXPECT_GT(dark, 400);
    // roundcorner="6,6": the window's very corner is cut away by its shape and shows the
    // (black) root window; a few pixels in, the title band's blue shows.
    EXPECT_EQ(PixelOf(image, ready->windowX, ready->windowY) & 0xFFFFFF, 0u);
    EXPECT_NEAR(static_cast<int>(PixelOf(image, ready->windowX + 10, ready->windowY) & 0xFF), 255, 12);
    cairo_surface_destroy(image);

    // A press in the caption band drags the window (here without a window manager, so
    // the framework follows the pointer itself); a press on a title button does not.
    const int grabX = ready->windowX + 300, grabY = ready->windowY + 15;
    ASSERT_EQ(session.Run({"xdotool", "mousemove", std::to_string(grabX), std::to_string(grabY), "mousedown", "1",
                           "mousemove", std::to_string(grabX + 60), std::to_string(grabY + 30), "mousemove",
                           std::to_string(grabX + 100), std::to_string(grabY + 50), "mouseup", "1"}),
              0);
    const std::string moved = "MOVE " + std::to_string(ready->windowX + 100) + " " + std::to_string(ready->windowY + 50);
    EXPECT_EQ(WaitForExactLine(session, probe, "MOVE", moved, 20s), moved);

    ASSERT_EQ(session.Run({"xdotool", "mousemove", std::to_string(ready->closeX + 100), std::to_string(ready->closeY + 50),
                           "click", "1"}),
              0);
    EXPECT_EQ(session.WaitForLine(probe, "CLICK", 20s).value_or("nothing"), "CLICK closebtn");
    EXPECT_TRUE(session.WaitForLine(probe, "CLOSED", 20s));
    EXPECT_EQ(session.WaitForExit(probe, 20s), 0);
}

}  // namespace
}  // namespace GuiTest
