#include "download/curl_common.h"

#include <filesystem>
#include <system_error>

#include "platform/text_encoding.h"

namespace CurlCommon {

namespace {

// Header-only requests keep nothing of a body.
std::size_t DiscardBody(char*, std::size_t size, std::size_t count, void*) { return size * count; }

}  // namespace

int SetLimits(CURL* curl, const RequestLimits& limits) {
    int result = 0;
    result |= curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    result |= curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds);
    result |= curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    result |= curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
    result |= curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    result |= curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    result |= curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, limits.progress);
    result |= curl_easy_setopt(curl, CURLOPT_XFERINFODATA, limits.progressData);
    return result;
}

int SetHeaderOnlyRequest(CURL* curl, const std::string& address, Redirects redirects,
                         const RequestLimits& limits) {
    int result = 0;
    result |= curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    if (redirects == Redirects::Follow) {
        result |= curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    }
    result |= curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    result |= curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &DiscardBody);
    result |= SetLimits(curl, limits);
    return result;
}

int SetBodyTransfer(CURL* curl, const std::string& address, const RequestLimits& limits) {
    int result = 0;
    result |= curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
    result |= curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    result |= curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    result |= curl_easy_setopt(curl, CURLOPT_TIMEOUT, 0L);
    result |= SetLimits(curl, limits);
    // Only a hint to libcurl: a smaller buffer than asked for still transfers.
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    return result;
}

std::wstring ResultText(int code) { return Platform::Utf8ToWide(curl_easy_strerror(static_cast<CURLcode>(code))); }

std::int64_t FileSizeOf(const std::string& narrowPath) {
    std::error_code error;
    const auto size = std::filesystem::file_size(std::filesystem::path(narrowPath), error);
    if (error) {
        return -1;
    }
    return static_cast<std::int64_t>(size);
}

}  // namespace CurlCommon
