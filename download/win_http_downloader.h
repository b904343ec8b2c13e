#pragma once
// The third download method: one WinHttpClient GET on a worker thread, storing the body
// at the destination path, with the downloader events every method sends (start,
// progress at most once a second, success or failure) and the digest check against the
// answering address with one restart request on a mismatch.
//
// Owned by the orchestrator through a CDownloader pointer. Start() runs on the owner's
// thread, or on this downloader's own worker from inside its DL_CODE_RETRY event. Every
// event is sent on the worker thread. Destruction may happen at any moment: it stops the
// transfer within a fraction of a second, joins every worker and sends no further event.
//
// Each attempt writes a fresh destination file; a failed attempt removes what it wrote.
// An HTTP status outside 200..299 is a failure whose value is the status code.

#include <atomic>
#include <cstdint>
#include <string>

#include "download/downloader.h"
#include "download/worker_slot.h"

class WinHttpDownloader : public CDownloader {
public:
    WinHttpDownloader(DownloadEventCallback callback, std::wstring url, std::wstring path);
    ~WinHttpDownloader() override;

    void Start() override;

    static void DownloadRoutine(void* downloader);

private:
    void Run();
    bool Stopping() const { return stopRequested.load(); }

    DownloadEventCallback callback;
    const std::wstring path;
    const std::wstring url;
    bool md5Retried = false;  // written by the worker only; the next worker starts after it
    // Set by the destructor; the running request gives up at its next look (any thread).
    std::atomic<bool> stopRequested{false};
    WorkerSlot workers;  // declared last: stopped and joined before the fields above go
};
