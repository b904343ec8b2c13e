#pragma once
// A worker thread owned by exactly one object.
//
// The thread is created suspended, so the owner can store the object before the payload
// runs; the owner then calls Resume(). The payload receives the context given at
// construction (in this system always the owner). The thread is named for debuggers and
// brackets the payload with the log lines "THREAD BEGIN" and "THREAD END".
//
// Owner pattern, at every (re)start of the owner's work:
//   worker_.reset();                                        // joins the old thread
//   worker_ = std::make_unique<Utils::Thread>(this, L"ABDEF", &Owner::Run);
//   worker_->Resume();
// Destruction joins without a time limit. A thread that was never resumed is released
// without running its payload, so destroying it never hangs.
//
// All members are called by the owning thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Utils {

class Thread {
public:
    using Payload = std::function<void(void*)>;

    Thread(void* context, std::wstring name, Payload payload);
    ~Thread();  // Join()
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Lets the payload run. Does nothing when creation failed or after the first call.
    void Resume();

    // Waits for the thread to end without a time limit; afterwards ThreadId() is
    // 0xFFFFFFFF and IsValid() is false. Does nothing when no thread is held.
    void Join();

    // True from a successful creation until the join.
    bool IsValid() const;

    // The kernel's id of the thread (0xFFFFFFFF after a join or a failed creation).
    std::uint32_t ThreadId() const { return threadId_; }

    // The name the thread carries for debuggers ("t" and the id when given none).
    const std::wstring& Name() const { return name_; }

private:
    struct Shared;
    std::uint32_t threadId_ = 0xFFFFFFFF;
    std::wstring name_;
    std::shared_ptr<Shared> shared_;  // start gate and payload, shared with the thread
};

}  // namespace Utils
