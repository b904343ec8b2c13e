#pragma once
// Fetches one file over HTTP into a given path, resuming through a ".part" side file.
//
// Before the transfer the client learns the real address (after redirects) and the
// content length with header-only requests and refuses files it cannot size or that are
// shorter than 1 MiB. Bytes go to "<path>.part", opened for appending; a later Start()
// resumes from that file's size, and only a complete transfer replaces `path` with it.
// The resolved address and length are kept, so a repeated Start() after a failure goes
// straight to the transfer.
//
// Owned by one CCurlDownloader and embedded in it. Start() and every callback run on the
// owner's worker thread; RequestStop() may be called from any thread.

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "download/curl_common.h"
#include "download/download_timings.h"

class CurlClient {
public:
    // Receives (owner, speed in bytes per second, reserved 0.0, percent 0..100).
    using ProgressFunction = void (*)(void* owner, double speed, double reserved, double percent);

    // Results of Start() of the client's own; every other non-zero result is a CURLcode.
    static constexpr int kPartFileError = -996;    // the ".part" file could not be opened
    static constexpr int kNoHandle = -997;         // libcurl gave no easy handle
    static constexpr int kUnresolvable = -998;     // no address or length, or under 1 MiB
    static constexpr double kMinimumLength = 1048576.0;

    CurlClient(std::wstring url, std::wstring path, void* owner, ProgressFunction progress,
               const DownloadTimings& timings = {});
    ~CurlClient();  // stops a running transfer and removes the ".part" file
    CurlClient(const CurlClient&) = delete;
    CurlClient& operator=(const CurlClient&) = delete;

    // Runs the whole transfer on the calling thread. 0 when the file now lies at `path`;
    // -996, -997, -998 or a CURLcode otherwise (42 after RequestStop()). The ".part" file
    // keeps what arrived, so the next call resumes.
    int Start();

    // `path`, or `path` followed by ".part" when the flag is set.
    std::wstring GetFilePath(bool withPartSuffix) const;

    // Makes the running and every later transfer or header-only request end at its next
    // progress callback (result 42). Never cleared. Any thread.
    void RequestStop() { stopRequested.store(true); }
    bool StopRequested() const { return stopRequested.load(); }

    // The address after redirects (UTF-8), empty until learned.
    const std::string& RealUrl() const { return realUrl; }
    // The content length in bytes, -1.0 while unknown.
    double TotalLength() const { return totalLength; }
    // The runtime library's reason for the last failure to open the ".part" file.
    const std::wstring& ErrorText() const { return errorText; }

    // Header-only request that follows redirects. Returns the handle (null when none could be
    // made), also after a failure; the caller reads it and releases it with curl_easy_cleanup.
    CURL* Head(const std::string& url);
    // The handle's effective address, empty when the library gives none.
    std::string GetRealUrl(CURL* curl);
    // The content length after a header-only request, -1.0 when unknown or when the status
    // is outside 200..399.
    double GetDownloadFileLength(CURL* curl);
    // Own header-only request without redirects; the length, -1.0 when unknown or when the
    // status is outside 200..399.
    double GetDownloadFileLength_Str(const std::string& url);
    // Own header-only request following redirects; the effective address, or `url` itself
    // when none was obtained.
    std::string GetRealUrl_Str(const std::string& url);

    static int ProgressCallback(void* client, curl_off_t dltotal, curl_off_t dlnow,
                                curl_off_t ultotal, curl_off_t ulnow);
    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t count, void* file);

private:
    // The time limits of every request and the progress callback with the stop check.
    CurlCommon::RequestLimits Limits();

    const std::wstring url;
    const std::wstring path;
    void* const owner;
    CURL* handle = nullptr;  // the transfer's handle while Start() runs
    ProgressFunction progressFn;
    double totalLength = -1.0;
    std::int64_t resumeFrom = -1;
    std::int64_t lastProgressTime = 0;
    std::atomic<bool> stopRequested{false};  // set by any thread, read by the callbacks
    std::wstring errorText;
    std::string realUrl;
    long lowSpeedSeconds;
    long connectTimeoutSeconds;
};
