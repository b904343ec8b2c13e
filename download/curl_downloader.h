#pragma once
// The single-stream downloader: one CurlClient on a worker thread, with a retry budget,
// the digest check against the resolved address and one restart request on a mismatch.
//
// Owned by the orchestrator through a CDownloader pointer. Start() runs on the owner's
// thread, or on this downloader's own worker from inside its DL_CODE_RETRY event. Every
// event is sent on the worker thread. Destruction may happen at any moment: it stops the
// transfer, cuts a retry pause short and joins every worker before returning.

#include <chrono>
#include <string>

#include "download/curl_client.h"
#include "download/download_timings.h"
#include "download/downloader.h"
#include "download/worker_slot.h"

class CCurlDownloader : public CDownloader {
public:
    // Retry budget of one Start(): a connection that ended early costs 1, anything else 2.
    static constexpr int kRetryBudget = 12;

    CCurlDownloader(DownloadEventCallback callback, std::wstring url, std::wstring path,
                    const DownloadTimings& timings = {});
    ~CCurlDownloader() override;

    void Start() override;

    // The client's progress relay: DL_CODE_PROGRESS when speed > 0 and percent <= 100.
    static void OnProgress(void* owner, double speed, double reserved, double percent);
    static void dlThreadFun(void* downloader);

private:
    DownloadEventCallback callback;
    const std::wstring path;
    const std::wstring url;
    CurlClient client;
    bool md5Retried = false;  // written by the worker only; the next worker starts after it
    const std::chrono::milliseconds retryPause;
    WorkerSlot workers;  // declared last: stopped and joined before the client goes
};
