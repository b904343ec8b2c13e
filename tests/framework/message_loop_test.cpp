// The event loop: posted messages from other threads, nested modal runs, timers on the
// window thread, control timers, queued notifications and the brief message pump.

#include "framework_fixture.h"

#include <atomic>
#include <thread>

#include "framework/container.h"
#include "framework/label.h"
#include "platform/clock.h"

namespace FrameworkTest {
namespace {

constexpr UINT kInstallerEvent = WM_USER + 1000;  // 2024, the installer's event message

const char* kSmall = R"(<Window size="200,120"><VerticalLayout name="root"><Button name="okBtn" height="30"/>
  <Button name="closebtn" height="30"/><Label name="lbl"/></VerticalLayout></Window>)";

class FrameworkLoop : public HeadlessFixture {};

TEST_F(FrameworkLoop, MessagesPostedFromOtherThreadsArriveInOrderDuringANestedModalRun) {
    RecordingWindow owner(L"owner.xml");
    const HWND ownerHwnd = Open(owner, kSmall);
    ASSERT_NE(ownerHwnd, 0u);
    constexpr int kPerThread = 300;
    std::vector<std::pair<int, int>> received;  // (thread, sequence)
    RecordingWindow dialog(L"dialog.xml");
    owner.onCustom = [&](UINT message, WPARAM wParam, LPARAM lParam, bool& handled) -> LRESULT {
        if (message == kInstallerEvent) {
            received.emplace_back(static_cast<int>(wParam), static_cast<int>(lParam));
            if (received.size() == 2 * kPerThread) dialog.Close(7);
        }
        handled = true;
        return 0;
    };
    std::atomic<bool> go{false};
    dialog.onReady = [&] { go = true; };
    WriteSkinFile("dialog.xml", kSmall);
    ASSERT_NE(dialog.Create(ownerHwnd, L"dialog", 0, 0), 0u);

    std::vector<std::thread> senders;
    for (int t = 0; t < 2; ++t) {
        senders.emplace_back([&, t] {
            while (!go) std::this_thread::yield();
            for (int i = 0; i < kPerThread; ++i) PostMessage(ownerHwnd, kInstallerEvent, t, i);
        });
    }
    bool ownerDisabledInside = false;
    dialog.onNotify = [&](TNotifyUI&) {};
    owner.onNotify = nullptr;
    // While the modal run goes on, the owner takes no input.
    const HWND dialogHwnd = dialog.GetHWND();
    PostMessage(dialogHwnd, WM_USER + 1, 0, 0);
    dialog.onCustom = [&](UINT message, WPARAM, LPARAM, bool& handled) -> LRESULT {
        if (message == WM_USER + 1) ownerDisabledInside = !IsWindowEnabled(ownerHwnd);
        handled = true;
        return 0;
    };
    const UINT result = dialog.ShowModal();
    for (auto& s : senders) s.join();
    EXPECT_EQ(result, 7u);
    EXPECT_TRUE(ownerDisabledInside);
    EXPECT_TRUE(IsWindowEnabled(ownerHwnd));
    EXPECT_EQ(backend_->ActiveWindow(), ownerHwnd);
    ASSERT_EQ(received.size(), 2u * kPerThread);
    int next[2] = {0, 0};
    for (auto [thread, sequence] : received) EXPECT_EQ(sequence, next[thread]++);
}

TEST_F(FrameworkLoop, TheOwnerOfAModalWindowIgnoresClicksUntilItCloses) {
    RecordingWindow owner(L"owner.xml");
    const HWND ownerHwnd = Open(owner, kSmall);
    RecordingWindow dialog(L"dialog.xml");
    WriteSkinFile("dialog.xml", kSmall);
    ASSERT_NE(dialog.Create(ownerHwnd, L"dialog", 0, 0), 0u);
    backend_->InjectClick(ownerHwnd, 50, 10);       // lost: the owner is disabled
    backend_->InjectCloseRequest(ownerHwnd);         // lost as well
    backend_->InjectClick(dialog.GetHWND(), 50, 40);  // "closebtn" of the dialog
    dialog.ShowModal();
    EXPECT_TRUE(IsWindow(ownerHwnd));
    EXPECT_TRUE(owner.notifications.empty());
    EXPECT_EQ(dialog.notifications, std::vector<std::wstring>{L"click:closebtn"});
}

TEST_F(FrameworkLoop, AQuitMessageEndsTheModalRunAndIsPostedAgain) {
    RecordingWindow dialog(L"dialog.xml");
    WriteSkinFile("dialog.xml", kSmall);
    ASSERT_NE(dialog.Create(0, L"dialog", 0, 0), 0u);
    PostQuitMessage(5);
    dialog.ShowModal();
    EXPECT_TRUE(IsWindow(dialog.GetHWND()));
    Message message;
    ASSERT_FALSE(MessageLoop::Instance().GetMessage(message));
    EXPECT_EQ(message.message, WM_QUIT);
    EXPECT_EQ(message.wParam, 5u);
}

TEST_F(FrameworkLoop, WindowTimersFireOnTheWindowThreadAndControlTimersNotify) {
    RecordingWindow window(L"w.xml");
    const HWND hwnd = Open(window, kSmall);
    const auto windowThread = std::this_thread::get_id();
    int rawTicks = 0;
    bool otherThread = false;
    window.onCustom = [&](UINT message, WPARAM wParam, LPARAM, bool& handled) -> LRESULT {
        if (message == WM_TIMER && wParam == 10) {
            ++rawTicks;
            otherThread |= std::this_thread::get_id() != windowThread;
            if (rawTicks == 3) MessageLoop::Instance().KillTimer(hwnd, 10);
            handled = true;
            return 0;
        }
        handled = false;
        return 0;
    };
    MessageLoop::Instance().SetTimer(hwnd, 10, 5);
    CControl* label = window.FindControl(L"lbl");
    CPaintManager& pm = window.GetPaintManager();
    ASSERT_TRUE(pm.SetTimer(label, 2100, 15));
    Message message;
    while (std::count(window.notifications.begin(), window.notifications.end(), L"timer:lbl:2100") < 3) {
        ASSERT_EQ(MessageLoop::Instance().GetMessage(message, 5000), MessageLoop::GetResult::Message)
            << "timers stopped arriving";
        MessageLoop::Instance().DispatchMessage(message);
    }
    EXPECT_EQ(rawTicks, 3);
    EXPECT_FALSE(otherThread);
    EXPECT_TRUE(pm.KillTimer(label, 2100));
    EXPECT_FALSE(pm.KillTimer(label, 2100));
    // WM_TIMER of control timers reaches OnCustomMessage too, before the framework turns it into events.
    EXPECT_GE(std::count_if(window.customMessages.begin(), window.customMessages.end(),
                            [](const Message& m) { return m.message == WM_TIMER && m.wParam != 10; }),
              3);
}

TEST_F(FrameworkLoop, StartingARunningControlTimerLeavesItsPeriodUnchanged) {
    RecordingWindow window(L"w.xml");
    Open(window, kSmall);
    CControl* label = window.FindControl(L"lbl");
    CPaintManager& pm = window.GetPaintManager();
    ASSERT_TRUE(pm.SetTimer(label, 11, 30));
    const std::uint64_t start = Platform::MonotonicMilliseconds();
    ASSERT_TRUE(pm.SetTimer(label, 11, 60000));  // already runs: unchanged
    Message message;
    while (window.notifications.empty()) {
        ASSERT_EQ(MessageLoop::Instance().GetMessage(message, 10000), MessageLoop::GetResult::Message)
            << "the timer took the new period";
        MessageLoop::Instance().DispatchMessage(message);
    }
    EXPECT_LT(Platform::MonotonicMilliseconds() - start, 10000u);
    EXPECT_EQ(window.notifications.front(), L"timer:lbl:11");
}

TEST_F(FrameworkLoop, TimersOfADestroyedControlOrWindowNeverFire) {
    RecordingWindow window(L"w.xml");
    const HWND hwnd = Open(window, kSmall);
    auto* root = static_cast<CContainer*>(window.FindControl(L"root"));
    CControl* label = window.FindControl(L"lbl");
    window.GetPaintManager().SetTimer(label, 1, 1);
    window.GetPaintManager().SendNotify(label, L"late", 0, 0, true);
    root->Remove(label);
    window.GetPaintManager().SetTimer(root, 2, 1);
    window.DestroyWindow();
    Message message;
    int timers = 0;
    while (MessageLoop::Instance().GetMessage(message, 50) == MessageLoop::GetResult::Message) {
        timers += message.message == WM_TIMER;
        MessageLoop::Instance().DispatchMessage(message);
    }
    EXPECT_EQ(timers, 0);
    EXPECT_TRUE(window.notifications.empty());
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(FrameworkLoop, QueuedNotificationsArriveAfterTheCurrentMessageInOrder) {
    RecordingWindow window(L"w.xml");
    Open(window, kSmall);
    CPaintManager& pm = window.GetPaintManager();
    pm.SendNotify(nullptr, L"checknet", 0, 0, true);
    pm.SendNotify(nullptr, L"install", 0, 0, true);
    pm.SendNotify(nullptr, L"now", 0, 0, false);
    EXPECT_EQ(window.notifications, std::vector<std::wstring>{L"now:root"});
    Pump();
    EXPECT_EQ(window.notifications, (std::vector<std::wstring>{L"now:root", L"checknet:root", L"install:root"}));
}

TEST_F(FrameworkLoop, PumpMessagesReportsTimeOnlyAfterDispatchingPastOneHundredMilliseconds) {
    RecordingWindow window(L"w.xml");
    const HWND hwnd = Open(window, kSmall);
    int ticks = 0;
    window.onCustom = [&](UINT message, WPARAM, LPARAM, bool& handled) -> LRESULT {
        if (message == WM_TIMER) ++ticks;
        handled = true;
        return 0;
    };
    MessageLoop::Instance().SetTimer(hwnd, 3, 10);
    const std::uint64_t start = Platform::MonotonicMilliseconds();
    EXPECT_TRUE(Utils::PumpMessages(hwnd));
    EXPECT_GT(Platform::MonotonicMilliseconds() - start, 100u);
    EXPECT_GE(ticks, 3);  // messages were dispatched meanwhile
    MessageLoop::Instance().KillTimer(hwnd, 3);

    // A quiet queue does not hold the caller forever.
    EXPECT_TRUE(Utils::PumpMessages(0));
}

TEST_F(FrameworkLoop, PumpMessagesStopsWhenTheWindowGoesOrAQuitArrives) {
    RecordingWindow window(L"w.xml");
    const HWND hwnd = Open(window, kSmall);
    window.Close();
    EXPECT_FALSE(Utils::PumpMessages(hwnd));
    EXPECT_FALSE(IsWindow(hwnd));

    RecordingWindow second(L"w.xml");
    const HWND other = second.Create(0, L"x", WS_VISIBLE, 0);
    PostQuitMessage(3);
    EXPECT_FALSE(Utils::PumpMessages(other));
    Message message;
    ASSERT_FALSE(MessageLoop::Instance().GetMessage(message));  // still there for the main loop
    EXPECT_EQ(message.wParam, 3u);
}

TEST_F(FrameworkLoop, PostingAfterTheWindowIsGoneIsHarmless) {
    RecordingWindow window(L"w.xml");
    const HWND hwnd = Open(window, kSmall);
    window.DestroyWindow();
    EXPECT_TRUE(PostMessage(hwnd, kInstallerEvent, 1, 2));
    EXPECT_EQ(Pump(), 1);  // taken from the queue and dropped
    EXPECT_TRUE(window.customMessages.empty());
    EXPECT_EQ(SendMessage(hwnd, kInstallerEvent), 0);
}

}  // namespace
}  // namespace FrameworkTest
