#pragma once
// A counter that other threads signal to wake the window thread out of its wait: an
// eventfd. Signal() is safe on any thread; Drain() and Fd() on the window thread.

namespace Framework {

class WakeupEvent {
public:
    WakeupEvent();
    ~WakeupEvent();
    WakeupEvent(const WakeupEvent&) = delete;
    WakeupEvent& operator=(const WakeupEvent&) = delete;
    bool IsValid() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Signal();
    void Drain();

private:
    int fd_ = -1;
};

// Waits until `fdA` or `fdB` (either may be -1) is readable or `timeoutMs` passes
// (-1: no limit). Interrupted waits simply return.
void WaitReadable(int fdA, int fdB, int timeoutMs);

}  // namespace Framework
