#include "support/thread.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/text_encoding.h"
#include "platform/thread_identity.h"
#include "support/debug_log.h"

namespace Utils {

// What the owner and the new thread share: the start gate, the payload and the thread.
struct Thread::Shared {
    enum class Gate { Suspended, Resumed, Released };

    std::mutex mutex;               // guards gate and threadId
    std::condition_variable changed;
    Gate gate = Gate::Suspended;
    std::uint32_t threadId = 0;     // 0 until the new thread has reported its id
    void* context = nullptr;
    Payload payload;
    std::string nativeName;
    std::thread thread;
};

namespace {

void CallBack(Thread::Payload& payload, void* context) {
    LOG(L"Utils::Thread::CallBack", L"THREAD BEGIN\r\n");
    payload(context);
    LOG(L"Utils::Thread::CallBack", L"THREAD END\r\n");
}

}  // namespace

Thread::Thread(void* context, std::wstring name, Payload payload)
    : name_(std::move(name)), shared_(std::make_shared<Shared>()) {
    shared_->context = context;
    shared_->payload = std::move(payload);
    std::shared_ptr<Shared> shared = shared_;
    try {
        shared_->thread = std::thread([shared] {
            std::unique_lock<std::mutex> lock(shared->mutex);
            shared->threadId = Platform::CurrentThreadId();
            shared->changed.notify_all();
            shared->changed.wait(lock, [&] { return shared->gate != Shared::Gate::Suspended; });
            if (shared->gate == Shared::Gate::Released) return;  // joined before it was resumed
            lock.unlock();
            Platform::SetCurrentThreadName(shared->nativeName);
            CallBack(shared->payload, shared->context);
        });
    } catch (const std::system_error&) {
        shared_.reset();  // creation failed: no thread, nothing to name, Resume does nothing
        return;
    }
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->changed.wait(lock, [&] { return shared_->threadId != 0; });
    threadId_ = shared_->threadId;
    if (name_.empty()) name_ = L"t" + std::to_wstring(threadId_);
    // The name is set by the thread itself before the payload runs; debuggers see it from
    // the first line of the payload on.
    shared_->nativeName = Platform::WideToActive(name_);
}

Thread::~Thread() { Join(); }

void Thread::Resume() {
    if (!shared_) return;
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (shared_->gate == Shared::Gate::Suspended) {
        shared_->gate = Shared::Gate::Resumed;
        shared_->changed.notify_all();
    }
}

void Thread::Join() {
    if (!shared_) return;
    {
        // A thread still waiting at its gate would never end: release it without running
        // the payload, so that a join can never hang on a thread nobody resumed.
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->gate == Shared::Gate::Suspended) {
            shared_->gate = Shared::Gate::Released;
            shared_->changed.notify_all();
        }
    }
    if (shared_->thread.joinable()) {
        if (shared_->thread.get_id() == std::this_thread::get_id()) {
            // An owner replacing its worker from inside that worker cannot wait for itself;
            // the payload is on its way out and keeps the shared state alive until it ends.
            shared_->thread.detach();
        } else {
            shared_->thread.join();
        }
    }
    shared_.reset();
    threadId_ = 0xFFFFFFFF;
}

bool Thread::IsValid() const { return shared_ != nullptr; }

}  // namespace Utils
