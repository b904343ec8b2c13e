#pragma once
// The window thread's message loop: one per process, like a Windows GUI thread's queue.
// Sources, in the order GetMessage takes them: posted messages (from any thread, in
// posting order), native input from the backend, due timers, then paints of windows
// with an invalid region. When nothing is ready it blocks in the backend on the native
// connection and an eventfd that posting signals, with the next timer as time limit:
// an idle window uses no CPU.
//
// Initialize/Shutdown and everything except PostMessage/PostQuitMessage run on the
// window thread (the thread that called Initialize).

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "framework/backend.h"
#include "framework/window_messages.h"

namespace Framework {

class CWindowBase;
class WakeupEvent;

class MessageLoop {
public:
    static MessageLoop& Instance();

    // Starts the backend. False (with a log line) when it cannot start, e.g. no display.
    bool Initialize(BackendKind kind);
    // Destroys the backend; windows still open are forgotten. Posted messages that are
    // still queued are dropped.
    void Shutdown();
    bool IsInitialized() const { return backend_ != nullptr; }
    Backend* GetBackend() const { return backend_.get(); }
    bool IsWindowThread() const;

    // Window registry: handles are never reused.
    HWND RegisterWindow(CWindowBase* window);
    void UnregisterWindow(HWND hwnd);
    CWindowBase* FindWindow(HWND hwnd) const;
    bool IsWindow(HWND hwnd) const { return FindWindow(hwnd) != nullptr; }

    // Any thread. False after Shutdown (the message is dropped).
    bool PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void PostQuitMessage(int exitCode);

    // Window thread only. Blocks until a message is ready; false for WM_QUIT.
    bool GetMessage(Message& message);
    // Like GetMessage, waiting at most `timeoutMs` (-1: no limit).
    enum class GetResult { Message, Quit, Timeout };
    GetResult GetMessage(Message& message, int timeoutMs);
    // Like GetMessage without blocking; false when nothing is ready.
    bool PeekMessage(Message& message);
    // Runs the target window's keyboard pre-filter; true when it swallowed the message.
    bool TranslateMessage(const Message& message);
    LRESULT DispatchMessage(const Message& message);
    // Calls the window at once (window thread only; 0 for a window that is gone).
    LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // Raw window timers: WM_TIMER with wParam = id every `elapse` ms (at least 1).
    // Setting an existing (hwnd, id) restarts it with the new period.
    void SetTimer(HWND hwnd, UINT id, UINT elapse);
    void KillTimer(HWND hwnd, UINT id);
    bool HasTimer(HWND hwnd, UINT id) const;

    // Asks for a WM_PAINT to `hwnd` once nothing more urgent is waiting.
    void RequestPaint(HWND hwnd);

    // A window that is disabled gets no input (mouse, keys, close requests from the user).
    void EnableWindow(HWND hwnd, bool enable);
    bool IsWindowEnabled(HWND hwnd) const;

    // Dispatches everything that is ready now, without blocking. For tests and tools;
    // returns how many messages were dispatched. A WM_QUIT found is posted again.
    int ProcessPendingMessages();

private:
    MessageLoop();
    ~MessageLoop();
    struct TimerEntry {
        std::uint64_t due;
        HWND hwnd;
        UINT id;
        UINT elapse;
        std::uint64_t serial;  // tells a live entry from a stale heap entry
    };
    bool TakeReady(Message& message);
    int MillisecondsToNextTimer() const;
    static bool IsInputMessage(UINT message);

    std::unique_ptr<Backend> backend_;
    std::thread::id windowThread_;
    // The eventfd that posting signals; created once and kept for the life of the
    // process, so a thread that posts during shutdown never signals a closed descriptor.
    WakeupEvent* wakeup_ = nullptr;

    std::mutex postedMutex_;  // guards posted_ and accepting_
    std::deque<Message> posted_;
    bool accepting_ = false;

    std::deque<Message> input_;
    std::map<HWND, CWindowBase*> windows_;
    std::set<HWND> disabled_;
    HWND nextHandle_ = 0x10;
    std::vector<TimerEntry> timerHeap_;                  // min-heap by due time
    std::map<std::pair<HWND, UINT>, std::uint64_t> liveTimers_;  // (hwnd, id) -> serial
    std::uint64_t nextTimerSerial_ = 1;
    std::deque<HWND> paintRequests_;
    std::set<HWND> paintPending_;
};

}  // namespace Framework
