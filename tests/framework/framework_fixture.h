#pragma once
// Shared fixture of the framework suites: the headless backend, a fresh skin folder
// per test served through FolderResourceReader, small PNG writers and a window class
// that records what reaches it.

#include <gtest/gtest.h>

#include <cairo.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "framework/backends/headless_backend.h"
#include "framework/message_loop.h"
#include "framework/resource_manager.h"
#include "framework/window_base.h"
#include "platform/paths.h"
#include "platform/text_encoding.h"
#include "test_support.h"

namespace FrameworkTest {

using namespace Framework;

// A window whose layout and reactions a test chooses; it records notifications and
// custom messages in arrival order.
class RecordingWindow : public CWindowBase {
public:
    explicit RecordingWindow(std::wstring layout) : layout_(std::move(layout)) {}
    std::wstring GetWindowClassName() const override { return L"RecordingWindow"; }
    std::wstring GetSkinFile() const override { return layout_; }

    void OnNotify(TNotifyUI& msg) override {
        notifications.push_back(msg.sType + L":" + (msg.pSender ? msg.pSender->GetName() : L"") +
                                (msg.sType == L"timer" || msg.sType == L"tabselect" || msg.sType == L"itemselect"
                                     ? L":" + std::to_wstring(msg.wParam)
                                     : L""));
        if (onNotify) onNotify(msg);
        CWindowBase::OnNotify(msg);
    }
    LRESULT OnCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override {
        customMessages.push_back({GetHWND(), message, wParam, lParam});
        if (onCustom) return onCustom(message, wParam, lParam, handled);
        handled = false;
        return 0;
    }
    bool PreFilterMessage(const Message& message) override {
        if (swallowEscape && message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) return true;
        return CWindowBase::PreFilterMessage(message);
    }
    CControl* CreateControl(std::wstring_view element) override {
        askedElements.emplace_back(element);
        return factory ? factory(element) : nullptr;
    }
    void OnWindowReady() override {
        ++readyCount;
        if (onReady) onReady();
    }
    void OnLayoutError(const std::wstring& detail) override { layoutErrors.push_back(detail); }

    std::wstring layout_;
    std::vector<std::wstring> notifications;
    std::vector<Message> customMessages;
    std::vector<std::wstring> askedElements;
    std::vector<std::wstring> layoutErrors;
    std::function<void(TNotifyUI&)> onNotify;
    std::function<LRESULT(UINT, WPARAM, LPARAM, bool&)> onCustom;
    std::function<CControl*(std::wstring_view)> factory;
    std::function<void()> onReady;
    bool swallowEscape = false;
    int readyCount = 0;
};

class HeadlessFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MessageLoop::Instance().Initialize(BackendKind::Headless));
        backend_ = HeadlessBackend::Current();
        ASSERT_NE(backend_, nullptr);
        skin_ = TestSupport::MakeFolder("skin");
        ResourceManager::Instance().SetReader(
            std::make_unique<FolderResourceReader>(Platform::Utf8ToWide(skin_)));
        RenderEngine::ClearImageCache();
    }
    void TearDown() override {
        // Leave nothing queued for the next test.
        MessageLoop::Instance().ProcessPendingMessages();
        Message m;
        while (MessageLoop::Instance().PeekMessage(m)) {
        }
    }

    void WriteSkinFile(const std::string& name, const std::string& bytes) {
        const std::string path = skin_ + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        TestSupport::WriteFile(path, bytes);
    }
    // A PNG of one colour (0xAARRGGBB, not premultiplied).
    void WritePng(const std::string& name, int width, int height, std::uint32_t argb) {
        const std::string path = skin_ + "/" + name;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_t* cr = cairo_create(s);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                              (argb >> 24) / 255.0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_write_to_png(s, path.c_str());
        cairo_surface_destroy(s);
    }
    // Creates a window over `xml` and paints it once.
    HWND Open(RecordingWindow& window, const std::string& xml, HWND owner = 0) {
        WriteSkinFile(Platform::WideToUtf8(window.layout_), xml);
        const HWND hwnd = window.Create(owner, L"test", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0);
        Pump();
        return hwnd;
    }
    int Pump() { return MessageLoop::Instance().ProcessPendingMessages(); }
    std::uint32_t Pixel(HWND hwnd, int x, int y) { return backend_->PixelAt(hwnd, x, y); }

    HeadlessBackend* backend_ = nullptr;
    std::string skin_;
};

// Channels of a premultiplied pixel.
inline int Alpha(std::uint32_t p) { return static_cast<int>(p >> 24); }
inline int Red(std::uint32_t p) { return static_cast<int>((p >> 16) & 0xFF); }
inline int Green(std::uint32_t p) { return static_cast<int>((p >> 8) & 0xFF); }
inline int Blue(std::uint32_t p) { return static_cast<int>(p & 0xFF); }

}  // namespace FrameworkTest
