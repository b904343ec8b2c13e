#include "framework/message_loop.h"

#include <algorithm>
#include <limits>
#include <string>

#include "framework/backends/wakeup_event.h"
#include "framework/window_base.h"
#include "platform/clock.h"
#include "support/debug_log.h"

namespace Framework {

namespace {

bool Later(const auto& a, const auto& b) { return a.due > b.due; }

// The framework's own messages that carry a heap payload free it when nobody takes them.
void DropPayload(const Message& message) {
    if (message.message == kMessageClipboardText) delete reinterpret_cast<std::wstring*>(message.lParam);
}

}  // namespace

MessageLoop& MessageLoop::Instance() {
    // Never destroyed: worker threads may still post while static objects go away.
    static MessageLoop* loop = new MessageLoop();
    return *loop;
}

MessageLoop::MessageLoop() : wakeup_(new WakeupEvent()) {}

MessageLoop::~MessageLoop() = default;

bool MessageLoop::Initialize(BackendKind kind) {
    if (backend_) return true;
    backend_ = kind == BackendKind::X11 ? CreateX11Backend() : CreateHeadlessBackend();
    if (!backend_) {
        LOG(L"MessageLoop::Initialize", L"the %s backend cannot start\r\n",
            kind == BackendKind::X11 ? L"X11" : L"headless");
        return false;
    }
    windowThread_ = std::this_thread::get_id();
    std::lock_guard<std::mutex> lock(postedMutex_);
    accepting_ = true;
    return true;
}

void MessageLoop::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        accepting_ = false;
        for (const Message& message : posted_) DropPayload(message);
        posted_.clear();
    }
    input_.clear();
    timerHeap_.clear();
    liveTimers_.clear();
    paintRequests_.clear();
    paintPending_.clear();
    windows_.clear();
    disabled_.clear();
    backend_.reset();
}

bool MessageLoop::IsWindowThread() const { return std::this_thread::get_id() == windowThread_; }

HWND MessageLoop::RegisterWindow(CWindowBase* window) {
    const HWND hwnd = nextHandle_++;
    windows_[hwnd] = window;
    return hwnd;
}

void MessageLoop::UnregisterWindow(HWND hwnd) {
    windows_.erase(hwnd);
    disabled_.erase(hwnd);
    paintPending_.erase(hwnd);
    for (auto it = liveTimers_.begin(); it != liveTimers_.end();) {
        if (it->first.first == hwnd) it = liveTimers_.erase(it); else ++it;
    }
}

CWindowBase* MessageLoop::FindWindow(HWND hwnd) const {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : it->second;
}

bool MessageLoop::PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        if (!accepting_) return false;
        posted_.push_back({hwnd, message, wParam, lParam});
    }
    wakeup_->Signal();
    return true;
}

void MessageLoop::PostQuitMessage(int exitCode) {
    PostMessage(0, WM_QUIT, static_cast<WPARAM>(static_cast<std::intptr_t>(exitCode)), 0);
}

bool MessageLoop::IsInputMessage(UINT message) {
    return (message >= WM_MOUSEMOVE && message <= WM_MOUSEWHEEL) || (message >= WM_KEYDOWN && message <= WM_SYSKEYUP) ||
           message == WM_MOUSELEAVE || message == WM_CLOSE;
}

int MessageLoop::MillisecondsToNextTimer() const {
    if (timerHeap_.empty()) return -1;
    const std::uint64_t now = Platform::MonotonicMilliseconds();
    const std::uint64_t due = timerHeap_.front().due;
    if (due <= now) return 0;
    return static_cast<int>(std::min<std::uint64_t>(due - now, std::numeric_limits<int>::max()));
}

bool MessageLoop::TakeReady(Message& message) {
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        if (!posted_.empty()) {
            message = posted_.front();
            posted_.pop_front();
            return true;
        }
    }
    if (backend_) backend_->CollectEvents(input_);
    while (!input_.empty()) {
        message = input_.front();
        input_.pop_front();
        // A disabled window (the owner of a modal window) takes no user input.
        if (IsInputMessage(message.message) && disabled_.count(message.hwnd)) continue;
        return true;
    }
    const std::uint64_t now = Platform::MonotonicMilliseconds();
    while (!timerHeap_.empty() && timerHeap_.front().due <= now) {
        std::pop_heap(timerHeap_.begin(), timerHeap_.end(), [](auto& a, auto& b) { return Later(a, b); });
        TimerEntry entry = timerHeap_.back();
        timerHeap_.pop_back();
        auto live = liveTimers_.find({entry.hwnd, entry.id});
        if (live == liveTimers_.end() || live->second != entry.serial) continue;  // killed or reset
        // The next expiry counts from now: a slow handler never causes a burst of catch-up ticks.
        entry.due = now + entry.elapse;
        timerHeap_.push_back(entry);
        std::push_heap(timerHeap_.begin(), timerHeap_.end(), [](auto& a, auto& b) { return Later(a, b); });
        message = {entry.hwnd, WM_TIMER, entry.id, 0};
        return true;
    }
    while (!paintRequests_.empty()) {
        const HWND hwnd = paintRequests_.front();
        paintRequests_.pop_front();
        if (!paintPending_.erase(hwnd)) continue;
        message = {hwnd, WM_PAINT, 0, 0};
        return true;
    }
    return false;
}

bool MessageLoop::GetMessage(Message& message) {
    for (;;) {
        if (TakeReady(message)) return message.message != WM_QUIT;
        if (!backend_) {
            // Without a backend nothing can ever arrive but posted messages.
            WaitReadable(wakeup_->Fd(), -1, MillisecondsToNextTimer());
        } else {
            backend_->Wait(MillisecondsToNextTimer(), wakeup_->Fd());
        }
        wakeup_->Drain();
    }
}

MessageLoop::GetResult MessageLoop::GetMessage(Message& message, int timeoutMs) {
    const std::uint64_t deadline = Platform::MonotonicMilliseconds() + static_cast<std::uint64_t>(std::max(timeoutMs, 0));
    for (;;) {
        if (TakeReady(message)) return message.message == WM_QUIT ? GetResult::Quit : GetResult::Message;
        int wait = MillisecondsToNextTimer();
        if (timeoutMs >= 0) {
            const std::uint64_t now = Platform::MonotonicMilliseconds();
            if (now >= deadline) return GetResult::Timeout;
            const int left = static_cast<int>(deadline - now);
            wait = wait < 0 ? left : std::min(wait, left);
        }
        if (backend_) backend_->Wait(wait, wakeup_->Fd()); else WaitReadable(wakeup_->Fd(), -1, wait);
        wakeup_->Drain();
    }
}

bool MessageLoop::PeekMessage(Message& message) {
    wakeup_->Drain();
    return TakeReady(message);
}

bool MessageLoop::TranslateMessage(const Message& message) {
    if (message.message < WM_KEYDOWN || message.message > WM_SYSKEYUP) return false;
    CWindowBase* window = FindWindow(message.hwnd);
    return window && window->PreFilterMessage(message);
}

LRESULT MessageLoop::DispatchMessage(const Message& message) {
    CWindowBase* window = FindWindow(message.hwnd);
    if (!window) {
        DropPayload(message);
        return 0;
    }
    return window->HandleMessage(message.message, message.wParam, message.lParam);
}

LRESULT MessageLoop::SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindowThread()) {
        LOG(L"MessageLoop::SendMessage", L"message %u sent from another thread; use PostMessage\r\n", message);
        return 0;
    }
    return DispatchMessage({hwnd, message, wParam, lParam});
}

void MessageLoop::SetTimer(HWND hwnd, UINT id, UINT elapse) {
    const std::uint64_t serial = nextTimerSerial_++;
    liveTimers_[{hwnd, id}] = serial;
    elapse = std::max<UINT>(elapse, 1);
    timerHeap_.push_back({Platform::MonotonicMilliseconds() + elapse, hwnd, id, elapse, serial});
    std::push_heap(timerHeap_.begin(), timerHeap_.end(), [](auto& a, auto& b) { return Later(a, b); });
}

void MessageLoop::KillTimer(HWND hwnd, UINT id) {
    liveTimers_.erase({hwnd, id});
    // Stale heap entries are dropped when they come due; keep the heap from growing
    // without bound when timers are set and killed many times without firing.
    if (timerHeap_.size() > 64 && timerHeap_.size() > 4 * liveTimers_.size()) {
        std::erase_if(timerHeap_, [&](const TimerEntry& e) {
            auto live = liveTimers_.find({e.hwnd, e.id});
            return live == liveTimers_.end() || live->second != e.serial;
        });
        std::make_heap(timerHeap_.begin(), timerHeap_.end(), [](auto& a, auto& b) { return Later(a, b); });
    }
}

bool MessageLoop::HasTimer(HWND hwnd, UINT id) const { return liveTimers_.count({hwnd, id}) != 0; }

void MessageLoop::RequestPaint(HWND hwnd) {
    if (paintPending_.insert(hwnd).second) paintRequests_.push_back(hwnd);
}

void MessageLoop::EnableWindow(HWND hwnd, bool enable) {
    if (enable) disabled_.erase(hwnd); else disabled_.insert(hwnd);
}

bool MessageLoop::IsWindowEnabled(HWND hwnd) const { return IsWindow(hwnd) && !disabled_.count(hwnd); }

int MessageLoop::ProcessPendingMessages() {
    int count = 0;
    Message message;
    // A bound, so a timer shorter than its own handler cannot keep this from returning.
    constexpr int kMostMessages = 10000;
    while (count < kMostMessages && PeekMessage(message)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (!TranslateMessage(message)) DispatchMessage(message);
        ++count;
    }
    return count;
}

}  // namespace Framework
