#pragma once
// What the single-stream client and the multi-part downloader set up alike on their libcurl
// handles: the limits every request runs under, the header-only request that learns an
// address and a length, and the options of a body transfer. Where the bytes go and how they
// are counted stays with each of them.

#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace CurlCommon {

// A redirect loop must end in a failure instead of spinning.
constexpr long kMaxRedirects = 10;
// Larger receive and file buffers than the defaults: fewer callbacks and writes per byte on
// fast links, still a flat memory use whatever the file size.
constexpr long kReceiveBufferBytes = 512 * 1024;
constexpr std::size_t kFileBufferBytes = 1 << 20;

// The limits of one request and the callback that sees its progress.
struct RequestLimits {
    long connectTimeoutSeconds;
    // A request slower than 1 byte per second for this long is abandoned: without a limit a
    // server that keeps the connection open but sends nothing would hold the installer forever.
    long lowSpeedSeconds;
    // Called at least once a second; a non-zero result ends the request (a stop request).
    curl_xferinfo_callback progress;
    void* progressData;
};

enum class Redirects { Follow, Stay };

// The redirect limit, the connect and low-speed limits, no signals, and the progress
// callback. 0 when libcurl took every option, non-zero otherwise.
int SetLimits(CURL* curl, const RequestLimits& limits);

// A header-only request of `address` (a body that comes anyway is dropped), following
// redirects or not, under `limits`. 0 when libcurl took every option, non-zero otherwise.
int SetHeaderOnlyRequest(CURL* curl, const std::string& address, Redirects redirects,
                         const RequestLimits& limits);

// A body transfer of `address` that follows redirects, fails on an HTTP error status and
// has no overall time limit, under `limits`, with the larger receive buffer. The caller
// says where the bytes go. 0 when libcurl took every option, non-zero otherwise.
int SetBodyTransfer(CURL* curl, const std::string& address, const RequestLimits& limits);

// libcurl's text for a result (a CURLcode), for the log.
std::wstring ResultText(int code);

// Size of a file in bytes, -1 when it cannot be learned.
std::int64_t FileSizeOf(const std::string& narrowPath);

}  // namespace CurlCommon
