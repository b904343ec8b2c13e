#include "download/curl_client.h"

#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/text_encoding.h"
#include "support/debug_log.h"

namespace {

// A transfer slower than 1 byte per second for this long is abandoned: without a limit a
// server that keeps the connection open but sends nothing would hold the installer forever.
constexpr long kDefaultLowSpeedSeconds = 30;
constexpr long kDefaultConnectTimeoutSeconds = 60;
constexpr std::size_t kMaxErrorTextLength = 200;

using CurlCommon::FileSizeOf;
using CurlCommon::Redirects;
using CurlCommon::ResultText;

}  // namespace

CurlClient::CurlClient(std::wstring url_, std::wstring path_, void* owner_, ProgressFunction progress,
                       const DownloadTimings& timings)
    : url(std::move(url_)),
      path(std::move(path_)),
      owner(owner_),
      progressFn(progress),
      lowSpeedSeconds(timings.lowSpeedSeconds.value_or(kDefaultLowSpeedSeconds)),
      connectTimeoutSeconds(timings.connectTimeoutSeconds.value_or(kDefaultConnectTimeoutSeconds)) {}

CurlClient::~CurlClient() {
    stopRequested.store(true);
    std::remove(Platform::WideToActive(GetFilePath(true)).c_str());
}

std::wstring CurlClient::GetFilePath(bool withPartSuffix) const {
    return withPartSuffix ? path + L".part" : path;
}

CurlCommon::RequestLimits CurlClient::Limits() {
    // During a header-only request the progress callback only checks the stop request: a
    // silent server must not hold up a downloader that is being destroyed.
    return {connectTimeoutSeconds, lowSpeedSeconds, &CurlClient::ProgressCallback, this};
}

int CurlClient::Start() {
    LOG(L"CurlClient::Start", L"start download\r\n");
    const std::string partPath = Platform::WideToActive(GetFilePath(true));
    const std::string filePath = Platform::WideToActive(GetFilePath(false));
    const std::string address =
        url.rfind(L"file:///", 0) == 0 ? Platform::WideToActive(url) : Platform::WideToUtf8(url);

    int result = 0;
    FILE* file = nullptr;
    curl_slist* headers = nullptr;

    if (realUrl.empty() || totalLength < kMinimumLength) {
        CURL* head = Head(address);
        realUrl = GetRealUrl(head);
        totalLength = GetDownloadFileLength(head);
        curl_easy_cleanup(head);
    }
    if (realUrl.empty() || totalLength < kMinimumLength) {
        realUrl = GetRealUrl_Str(address);
        if (!realUrl.empty()) {
            totalLength = GetDownloadFileLength_Str(realUrl);
        }
        if (totalLength < kMinimumLength) {
            result = kUnresolvable;
        }
    }

    handle = nullptr;
    if (result == 0) {
        handle = curl_easy_init();
        if (handle == nullptr) {
            result = kNoHandle;
        }
    }
    if (result == 0) {
        file = std::fopen(partPath.c_str(), "ab+");
        if (file == nullptr) {
            std::wstring reason = Platform::ActiveToWide(std::strerror(errno));
            if (reason.size() > kMaxErrorTextLength) {
                reason.resize(kMaxErrorTextLength);
            }
            errorText = reason;
            result = kPartFileError;
        } else {
            std::setvbuf(file, nullptr, _IOFBF, CurlCommon::kFileBufferBytes);
        }
    }
    if (result == 0) {
        headers = curl_slist_append(headers, "Connection: keep-alive");
        // The body is stored byte for byte and resumed by byte offset, so no compressed
        // encoding may be offered: a host that took up the offer would leave a compressed
        // file at the destination.
        headers = curl_slist_append(headers, "Accept-Encoding: identity");
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(handle, CURLOPT_TCP_KEEPALIVE, 1L);
        curl_easy_setopt(handle, CURLOPT_TCP_KEEPIDLE, 10L);
        curl_easy_setopt(handle, CURLOPT_TCP_KEEPINTVL, 10L);
        int options = CurlCommon::SetBodyTransfer(handle, realUrl, Limits());
        options |= curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CurlClient::WriteCallback);
        options |= curl_easy_setopt(handle, CURLOPT_WRITEDATA, file);
        resumeFrom = FileSizeOf(partPath);
        if (static_cast<double>(resumeFrom) > 1e-10) {
            options |= curl_easy_setopt(handle, CURLOPT_RESUME_FROM_LARGE,
                                        static_cast<curl_off_t>(resumeFrom));
        }
        result = options;
        if (result == 0) {
            result = curl_easy_perform(handle);
        }
    }

    const std::wstring text = ResultText(result);
    LOG(L"CurlClient::Start", L"error:%d:%s\r\n", result, text.c_str());
    curl_easy_cleanup(handle);
    handle = nullptr;
    curl_slist_free_all(headers);
    if (file != nullptr) {
        std::fclose(file);
    }
    if (result == CURLE_RANGE_ERROR) {
        // The server cannot continue where the side file ends; what it holds can never be
        // completed, so the next attempt starts from the beginning.
        std::remove(partPath.c_str());
    }
    if (result == 0) {
        std::remove(filePath.c_str());
        std::rename(partPath.c_str(), filePath.c_str());
    }
    LOG(L"CurlClient::Start", L"end download\r\n");
    return result;
}

CURL* CurlClient::Head(const std::string& address) {
    CURL* curl = curl_easy_init();
    int result = 0;
    if (curl != nullptr) {
        const int options = CurlCommon::SetHeaderOnlyRequest(curl, address, Redirects::Follow, Limits());
        result = options;
        if (options == 0) {
            result = curl_easy_perform(curl);
            if (result != 0) {
                const std::wstring text = ResultText(result);
                LOG(L"CurlClient::Head", L"error:%d:%s\r\n", result, text.c_str());
            }
        }
    }
    const std::wstring text = ResultText(result);
    LOG(L"CurlClient::Head", L"error:%d:%s\r\n", result, text.c_str());
    return curl;
}

std::string CurlClient::GetRealUrl(CURL* curl) {
    if (curl == nullptr) {
        return "";
    }
    char* effective = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK || effective == nullptr) {
        return "";
    }
    return effective;
}

double CurlClient::GetDownloadFileLength(CURL* curl) {
    if (curl == nullptr) {
        return -1.0;
    }
    curl_off_t length = -1;
    const int query = curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    const std::wstring text = ResultText(query);
    LOG(L"CurlClient::GetDownloadFileLength", L"error:%d:%s\r\n", query, text.c_str());
    long status = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status >= 200 &&
        status <= 399 && query == CURLE_OK) {
        return static_cast<double>(length);
    }
    return -1.0;
}

double CurlClient::GetDownloadFileLength_Str(const std::string& address) {
    CURL* curl = curl_easy_init();
    double result = -1.0;
    int logged = 0;
    if (curl != nullptr) {
        int options = CurlCommon::SetHeaderOnlyRequest(curl, address, Redirects::Stay, Limits());
        options |= curl_easy_setopt(curl, CURLOPT_HEADER, 1L);
        logged = options;
        if (options == 0) {
            curl_easy_perform(curl);
            curl_off_t length = -1;
            long status = 0;
            const int lengthQuery = curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            logged = curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
            // An error page's length is not the package's length.
            if (lengthQuery == CURLE_OK && logged == CURLE_OK && status >= 200 && status <= 399) {
                result = static_cast<double>(length);
            }
        }
    }
    const std::wstring text = ResultText(logged);
    LOG(L"CurlClient::GetDownloadFileLength_Str", L"error:%d:%s\r\n", logged, text.c_str());
    curl_easy_cleanup(curl);
    return result;
}

std::string CurlClient::GetRealUrl_Str(const std::string& address) {
    CURL* curl = curl_easy_init();
    std::string effectiveUrl;
    if (curl != nullptr) {
        const int options = CurlCommon::SetHeaderOnlyRequest(curl, address, Redirects::Follow, Limits());
        if (options == 0) {
            const int result = curl_easy_perform(curl);
            if (result != CURLE_OK) {
                const std::wstring text = ResultText(result);
                LOG(L"CurlClient::GetRealUrl_Str", L"error:%d:%s\r\n", result, text.c_str());
            } else {
                effectiveUrl = GetRealUrl(curl);
            }
        }
    }
    curl_easy_cleanup(curl);
    return effectiveUrl.empty() ? address : effectiveUrl;
}

int CurlClient::ProgressCallback(void* clientPointer, curl_off_t dltotal, curl_off_t dlnow, curl_off_t,
                                 curl_off_t) {
    auto* client = static_cast<CurlClient*>(clientPointer);
    if (client->stopRequested.load()) {
        return 1;
    }
    if (client->handle == nullptr) {
        return 0;  // a header-only request: only the stop request matters
    }
    const std::int64_t now = Platform::WallClockSeconds();
    if (now - client->lastProgressTime < 1) {
        return 0;
    }
    client->lastProgressTime = now;

    curl_off_t speedBytes = 0;
    double speed = 0.0;
    if (curl_easy_getinfo(client->handle, CURLINFO_SPEED_DOWNLOAD_T, &speedBytes) == CURLE_OK) {
        speed = static_cast<double>(speedBytes);
    }
    double percent = 0.0;
    if (client->totalLength > kMinimumLength) {
        percent = (static_cast<double>(client->resumeFrom) + static_cast<double>(dlnow)) /
                  client->totalLength * 100.0;
    } else {
        if (dlnow <= 0 || dltotal <= 0) {
            return 0;
        }
        percent = static_cast<double>(dlnow) * 100.0 / static_cast<double>(dltotal);
    }
    if (percent == 0.0) {
        return 0;
    }
    if (client->progressFn != nullptr) {
        client->progressFn(client->owner, speed, 0.0, percent);
    }
    if (dltotal != 0) {
        LOG(L"CurlClient::ProgressCallback", L" %dM %dM   progress:%f%%  speed:%f \n",
            static_cast<int>(dlnow / 1048576), static_cast<int>(dltotal / 1048576),
            static_cast<double>(static_cast<float>(percent)),
            static_cast<double>(static_cast<float>(speed * (1.0 / 1024))));
    }
    return 0;
}

std::size_t CurlClient::WriteCallback(char* data, std::size_t size, std::size_t count, void* file) {
    if (file == nullptr) {
        return 0;
    }
    return std::fwrite(data, size, count, static_cast<FILE*>(file)) * size;
}
