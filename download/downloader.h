#pragma once
// The one interface behind which the installer's three download methods sit, the event
// codes they report to their owner, and the expected-digest lookup they share.
//
// Owners hold a downloader only through a CDownloader pointer and destroy it through that
// pointer. Every downloader is constructed with (callback, address, destination path) and
// keeps its own copy of the callback.

#include <functional>
#include <string>

// Receives (code, value, text) for every downloader event, synchronously on a worker
// thread of the downloader. The text is never null. Must not be empty: downloaders call it
// without checking.
using DownloadEventCallback = std::function<void(int, double, const wchar_t*)>;

// A download attempt begins (sent again after every restart); value 1.0, text "".
constexpr int DL_CODE_START = 1001;
// Fraction downloaded 0.0..1.0, text ""; at most once per second.
constexpr int DL_CODE_PROGRESS = 1002;
// The file is complete at the destination; value 0.0, text "LibCurl".
constexpr int DL_CODE_SUCCESS = 1003;
// The download failed for good, no further events follow; value is the last error code.
constexpr int DL_CODE_FAIL = 1004;
// The downloader asks its owner to call Start() once more; at most once in its life.
constexpr int DL_CODE_RETRY = 1005;
// The digest check failed or could not be made; always followed by 1003, 1004 or 1005.
constexpr int DL_CODE_MD5_ERROR = 1006;

class CDownloader {
public:
    virtual ~CDownloader() = default;

    // Starts (or restarts) the download on the downloader's own thread(s) and returns at
    // once. May be called from inside the downloader's own DL_CODE_RETRY event, on its
    // worker: it then never waits for the thread it is called on.
    virtual void Start() = 0;
};

namespace Utils {

// The expected digest carried by a resolved download address: the text between the last
// "/" and the "/" before it. Empty when the address is empty or has fewer than two "/".
// The caller decides whether the result is usable (exactly 32 characters).
std::string GetUrlMd5(const std::string& url);

}  // namespace Utils
