#pragma once
// The multi-part downloader: resolves the real address, length and expected digest once,
// fetches the file in at most two byte ranges in parallel, each into a part file of its
// own ("<path>_0", "<path>_1"), joins the part files into the destination, checks the
// digest and asks its owner once for a restart after a failed attempt.
//
// A range is written only from a response that carries exactly the asked-for bytes; a
// server that ignores Range requests is answered by fetching the whole file as one range.
//
// Owned by the orchestrator through a CDownloader pointer. Start() runs on the owner's
// thread, or on this downloader's worker from inside its DL_CODE_RETRY event. The worker
// prepares an attempt, runs one thread per range, joins them, merges and reports; range
// threads send DL_CODE_PROGRESS, the worker every other event. Destruction may happen at
// any moment: it aborts the transfers, cuts pauses short and joins every thread first.

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/curl_common.h"
#include "download/download_timings.h"
#include "download/downloader.h"
#include "download/worker_slot.h"
#include "support/thread.h"

class CMTCurlDownloader : public CDownloader {
public:
    // A range gets its own transfer for every 10 MiB of the file, at most two of them.
    static constexpr std::int64_t kPartSize = 10485760;
    static constexpr std::size_t kMaxParts = 2;
    // Retry budget of one range: a connection that ended early costs 1, anything else 2.
    static constexpr int kPartRetryBudget = 12;
    static constexpr std::int64_t kMinimumLength = 256;

    // States of a range besides a libcurl result.
    static constexpr int kPartPending = -1;
    static constexpr int kPartFileError = -2;
    static constexpr int kPartComplete = 0;

    // One byte range of the file and the transfer that fills its part file.
    struct DownloadPartNode {
        CMTCurlDownloader* owner = nullptr;
        FILE* file = nullptr;           // the part file, opened for appending
        std::int64_t rangeStart = 0;    // first offset of the range
        std::int64_t start = 0;         // next offset to fetch
        std::int64_t end = 0;           // last offset of the range, inclusive
        CURL* handle = nullptr;         // reused by every attempt of the range
        std::string url;
        std::string partPath;
        int state = kPartPending;
        // Bytes of the range present; read by the other ranges' progress callbacks.
        std::atomic<std::int64_t> downloaded{0};
        // What the current response says about itself, checked before its first byte.
        std::int64_t requestedStart = 0;
        bool responseChecked = false;
        bool responseAccepted = false;
        bool contentRangeSeen = false;
        std::int64_t contentRangeStart = -1;
        bool surplusRefused = false;    // bytes past the range's end were refused
        std::unique_ptr<Utils::Thread> thread;
    };

    CMTCurlDownloader(DownloadEventCallback callback, std::wstring url, std::wstring path,
                      const DownloadTimings& timings = {});
    ~CMTCurlDownloader() override;

    void Start() override;

    static void Start_Down(void* downloader);
    // True when the address resolved to a non-empty real address and a length of at least
    // 256 bytes.
    bool getRealDownloadUrl(const std::string& address);
    static void downloadThreadFun(void* part);
    // The libcurl result of one attempt of one range.
    int downloadExe(DownloadPartNode* part);
    // Waits for the ranges, merges, verifies and reports; runs on the worker.
    void waitForFinishThreadFun();
    static std::size_t PartWriteCallback(char* data, std::size_t size, std::size_t count, void* part);
    static std::size_t PartHeaderCallback(char* data, std::size_t size, std::size_t count, void* part);
    // 0 to go on; 1 only while the downloader is being destroyed.
    static int ProgressCallback(void* downloader, curl_off_t dltotal, curl_off_t dlnow,
                                curl_off_t ultotal, curl_off_t ulnow);
    void ClearParts();
    static void DeletePartFiles(const std::string& narrowPath);

private:
    // Creates the ranges of one attempt from the part files present and starts a thread for
    // every range still to fetch; false when the downloader is being destroyed.
    bool StartParts();
    // Appends the part files to part file 0 and renames it to the destination; false when a
    // part file is missing, has the wrong size or cannot be read or written.
    bool MergeParts();
    void SendProgress(double percent);
    // The time limits of every request and the progress callback with the stop check.
    CurlCommon::RequestLimits Limits();

    DownloadEventCallback callback;
    const std::wstring path;
    const std::wstring url;
    std::string narrowPath;  // destination in the active code page
    std::vector<std::unique_ptr<DownloadPartNode>> parts;  // built and cleared by the worker
    std::string realUrl;
    std::int64_t length = -1;
    std::string expectedMd5;
    bool retried = false;
    // Set by a range whose server answered a Range request with the whole file; the
    // next ranges are then made as one range over the whole file.
    std::atomic<bool> rangeIgnored{false};
    std::atomic<bool> stopRequested{false};  // aborts transfers at their next callback

    // Guards `lastPercent` and `lastProgressTime`, shared by the ranges' progress callbacks.
    std::mutex progressMutex;
    double lastPercent = 0.0;
    std::int64_t lastProgressTime = 0;

    const std::chrono::milliseconds retryPause;
    const std::chrono::milliseconds partStagger;
    const long lowSpeedSeconds;
    const long connectTimeoutSeconds;
    WorkerSlot workers;  // declared last: stopped and joined before anything else goes
};
