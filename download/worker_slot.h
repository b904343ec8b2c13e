#pragma once
// The worker thread of one downloader, with the restart and teardown rules every
// downloader shares.
//
// Start() may be called on the owner's thread (it then waits for the previous worker) or,
// for a restart, on the current worker from inside one of its events (it then starts the
// next worker at once and leaves the calling one to end by itself; it is joined later).
// Stop() is called by the downloader's destructor: after it no worker is started again,
// every pause ends at once, and all workers ever started have been joined.
//
// Owned by one downloader; its members may be called from the owner's thread and from
// the downloader's workers, except Stop(), which joins them: a downloader is never
// destroyed from inside one of its own events.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "support/thread.h"

class WorkerSlot {
public:
    WorkerSlot() = default;
    ~WorkerSlot();  // Stop()
    WorkerSlot(const WorkerSlot&) = delete;
    WorkerSlot& operator=(const WorkerSlot&) = delete;

    // Starts a new worker named "ABDEF" running payload(context). Does nothing after Stop().
    void Start(void* context, std::function<void(void*)> payload);

    // To be called first thing by every worker payload: marks the calling thread as one of
    // this slot's workers.
    void EnterWorker();

    // Ends the waits, refuses further starts and joins every worker. Idempotent.
    void Stop();

    // Waits `pause`, or less when Stop() is called; false when stopping.
    bool Pause(std::chrono::milliseconds pause);

    bool Stopping();

private:
    // Guards `current`, `finished` and `stopping`.
    std::mutex mutex;
    std::condition_variable stopSignal;  // notified when `stopping` is set
    std::unique_ptr<Utils::Thread> current;
    // The worker that asked for the restart from inside its event; ends by itself.
    std::unique_ptr<Utils::Thread> finished;
    bool stopping = false;
};
