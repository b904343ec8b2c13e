#include "download/worker_slot.h"

namespace {

// The slot whose worker runs on this thread, so that a Start() from inside one of its
// events never waits for the thread it runs on.
thread_local const WorkerSlot* runningSlot = nullptr;

}  // namespace

WorkerSlot::~WorkerSlot() { Stop(); }

void WorkerSlot::EnterWorker() { runningSlot = this; }

void WorkerSlot::Start(void* context, std::function<void(void*)> payload) {
    if (runningSlot == this) {
        std::unique_ptr<Utils::Thread> older;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping) {
                return;
            }
            older = std::move(finished);
            finished = std::move(current);
            current = std::make_unique<Utils::Thread>(context, L"ABDEF", std::move(payload));
            current->Resume();
        }
        // A worker parked by an earlier restart has long sent its last event.
        older.reset();
        return;
    }
    for (;;) {
        std::unique_ptr<Utils::Thread> previous;
        std::unique_ptr<Utils::Thread> parked;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (stopping) {
                return;
            }
            if (current == nullptr && finished == nullptr) {
                current = std::make_unique<Utils::Thread>(context, L"ABDEF", std::move(payload));
                current->Resume();
                return;
            }
            previous = std::move(current);
            parked = std::move(finished);
        }
        // Joined outside the lock: the old worker may be inside an event that restarts.
        previous.reset();
        parked.reset();
    }
}

void WorkerSlot::Stop() {
    std::unique_ptr<Utils::Thread> previous;
    std::unique_ptr<Utils::Thread> parked;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        previous = std::move(current);
        parked = std::move(finished);
    }
    stopSignal.notify_all();
    previous.reset();
    parked.reset();
}

bool WorkerSlot::Pause(std::chrono::milliseconds pause) {
    std::unique_lock<std::mutex> lock(mutex);
    return !stopSignal.wait_for(lock, pause, [this] { return stopping; });
}

bool WorkerSlot::Stopping() {
    std::lock_guard<std::mutex> lock(mutex);
    return stopping;
}
