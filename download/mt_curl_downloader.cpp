#include "download/mt_curl_downloader.h"

#include <cinttypes>
#include <cstring>

#include "download/curl_common.h"
#include "platform/clock.h"
#include "platform/text_encoding.h"
#include "support/debug_log.h"
#include "support/file_md5.h"

namespace {

constexpr std::chrono::milliseconds kDefaultRetryPause{400};
constexpr std::chrono::milliseconds kDefaultPartStagger{100};
constexpr long kDefaultLowSpeedSeconds = 5;
constexpr long kDefaultConnectTimeoutSeconds = 60;
constexpr int kPartialFile = 18;  // CURLE_PARTIAL_FILE
// The merge streams through a buffer of this size; memory stays flat whatever the file.
constexpr std::size_t kMergeBlock = 1 << 20;

using CurlCommon::FileSizeOf;

std::string PartPath(const std::string& narrowPath, std::size_t index) {
    return narrowPath + "_" + std::to_string(index);
}

bool StartsWithNoCase(const char* data, std::size_t length, const char* prefix) {
    const std::size_t prefixLength = std::strlen(prefix);
    if (length < prefixLength) {
        return false;
    }
    for (std::size_t i = 0; i < prefixLength; ++i) {
        char c = data[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != prefix[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

CMTCurlDownloader::CMTCurlDownloader(DownloadEventCallback callback_, std::wstring url_, std::wstring path_,
                                     const DownloadTimings& timings)
    : callback(std::move(callback_)),
      path(std::move(path_)),
      url(std::move(url_)),
      narrowPath(Platform::WideToActive(path)),
      retryPause(timings.retryPause.value_or(kDefaultRetryPause)),
      partStagger(timings.partStagger.value_or(kDefaultPartStagger)),
      lowSpeedSeconds(timings.lowSpeedSeconds.value_or(kDefaultLowSpeedSeconds)),
      connectTimeoutSeconds(timings.connectTimeoutSeconds.value_or(kDefaultConnectTimeoutSeconds)) {
    std::remove(narrowPath.c_str());
    DeletePartFiles(narrowPath);
}

CMTCurlDownloader::~CMTCurlDownloader() {
    stopRequested.store(true);
    workers.Stop();
    ClearParts();  // nothing is left after a stop at a worker's end; harmless then
    // Like the single-stream client's ".part" file: a downloader that goes away leaves
    // nothing in the install folder (a new one would delete the part files anyway).
    DeletePartFiles(narrowPath);
}

void CMTCurlDownloader::Start() { workers.Start(this, &CMTCurlDownloader::Start_Down); }

CurlCommon::RequestLimits CMTCurlDownloader::Limits() {
    return {connectTimeoutSeconds, lowSpeedSeconds, &CMTCurlDownloader::ProgressCallback, this};
}

void CMTCurlDownloader::DeletePartFiles(const std::string& destination) {
    for (std::size_t i = 0; i < kMaxParts; ++i) {
        std::remove(PartPath(destination, i).c_str());
    }
}

void CMTCurlDownloader::Start_Down(void* downloader) {
    auto* self = static_cast<CMTCurlDownloader*>(downloader);
    self->workers.EnterWorker();
    self->callback(DL_CODE_START, 1.0, L"");
    LOG(L"CMTCurlDownloader::Start_Down", L"start download\r\n");

    const std::string address = self->url.rfind(L"file:///", 0) == 0 ? Platform::WideToActive(self->url)
                                                                      : Platform::WideToUtf8(self->url);
    std::remove(self->narrowPath.c_str());
    bool keepParts = false;
    {
        std::lock_guard<std::mutex> lock(self->progressMutex);
        keepParts = self->lastPercent != 0.0;
    }
    // Part files of a server that ignores ranges may hold bytes from the wrong offsets.
    if (!keepParts || self->rangeIgnored.load()) {
        DeletePartFiles(self->narrowPath);
    }

    if (self->realUrl.empty() || self->length < kMinimumLength) {
        if (!self->getRealDownloadUrl(address)) {
            if (!self->stopRequested.load()) {
                self->callback(DL_CODE_FAIL, 0.0, L"LibCurl");
            }
            return;
        }
    }
    if (!self->StartParts()) {
        self->ClearParts();
        return;
    }
    self->waitForFinishThreadFun();
}

bool CMTCurlDownloader::getRealDownloadUrl(const std::string& address) {
    realUrl.clear();
    expectedMd5.clear();
    length = 0;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return false;
    }
    curl_slist* headers = curl_slist_append(nullptr, "Connection: keep-alive");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    // Only the stop request matters here: no ranges exist yet, so no progress is sent.
    const int options =
        CurlCommon::SetHeaderOnlyRequest(curl, address, CurlCommon::Redirects::Follow, Limits());
    bool resolved = false;
    if (options == 0 && curl_easy_perform(curl) == CURLE_OK) {
        char* effective = nullptr;
        if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective != nullptr &&
            *effective != '\0') {
            realUrl = effective;
            const std::wstring wideUrl = Platform::Utf8ToWide(realUrl);
            LOG(L"CMTCurlDownloader::getRealDownloadUrl", L"Download File real url %s\r\n", wideUrl.c_str());
            expectedMd5 = Utils::GetUrlMd5(realUrl);
        }
        curl_off_t reported = -1;
        long status = 0;
        if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &reported) == CURLE_OK &&
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status >= 200 &&
            status <= 399) {
            length = static_cast<std::int64_t>(reported);
            LOG(L"CMTCurlDownloader::getRealDownloadUrl", L"Download File Length %lld\r\n",
                static_cast<long long>(length));
        }
        resolved = !realUrl.empty() && length >= kMinimumLength;
    }
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    return resolved;
}

bool CMTCurlDownloader::StartParts() {
    std::size_t count = static_cast<std::size_t>(length / kPartSize);
    if (count == 0) {
        count = 1;
    }
    if (count > kMaxParts) {
        count = kMaxParts;
    }
    if (rangeIgnored.load()) {
        count = 1;  // the server sends the whole file whatever range is asked for
    }
    const std::int64_t rangeSize = length / static_cast<std::int64_t>(count);
    std::int64_t offset = 0;
    for (std::size_t i = 0; i < count; ++i) {
        auto part = std::make_unique<DownloadPartNode>();
        const std::int64_t size = i + 1 == count ? rangeSize + length % static_cast<std::int64_t>(count) : rangeSize;
        part->owner = this;
        part->partPath = PartPath(narrowPath, i);
        part->url = realUrl;
        part->handle = curl_easy_init();
        part->rangeStart = offset;
        part->end = offset + size - 1;
        std::int64_t existing = FileSizeOf(part->partPath);
        if (existing < 0) {
            existing = 0;
        }
        if (existing > size) {
            // More bytes than the range holds: the file is damaged, fetch the range again.
            LOG(L"CMTCurlDownloader::StartParts", L"part file too long, fetched again: %s\r\n",
                Platform::ActiveToWide(part->partPath).c_str());
            std::remove(part->partPath.c_str());
            existing = 0;
        }
        part->downloaded.store(existing);
        part->start = offset + existing;
        if (part->start > part->end) {
            part->state = kPartComplete;
        } else {
            part->file = std::fopen(part->partPath.c_str(), "ab+");
            part->state = part->file != nullptr ? kPartPending : kPartFileError;
            if (part->file != nullptr) {
                std::setvbuf(part->file, nullptr, _IOFBF, CurlCommon::kFileBufferBytes);
            }
        }
        offset += size;
        parts.push_back(std::move(part));
    }

    bool first = true;
    for (auto& part : parts) {
        if (part->state != kPartPending || part->handle == nullptr) {
            if (part->handle == nullptr && part->state == kPartPending) {
                part->state = CURLE_FAILED_INIT;
            }
            continue;
        }
        if (!first && !workers.Pause(partStagger)) {
            return false;
        }
        first = false;
        part->thread = std::make_unique<Utils::Thread>(part.get(), L"ABDEF", &CMTCurlDownloader::downloadThreadFun);
        part->thread->Resume();
    }
    return true;
}

void CMTCurlDownloader::downloadThreadFun(void* partPointer) {
    auto* part = static_cast<DownloadPartNode*>(partPointer);
    CMTCurlDownloader* self = part->owner;
    int budget = kPartRetryBudget;
    int result = self->downloadExe(part);
    while (result != 0 && budget > 0 && !self->stopRequested.load()) {
        if (self->rangeIgnored.load()) {
            if (part->rangeStart != 0 || part->end != self->length - 1) {
                break;  // every retry of a partial range would be refused again
            }
            // The whole file as one range: a resumed request is answered from the first
            // byte, so start the part file over.
            if (part->file != nullptr) {
                std::fclose(part->file);
            }
            part->file = std::fopen(part->partPath.c_str(), "wb");
            if (part->file == nullptr) {
                part->state = kPartFileError;
                break;
            }
            part->start = 0;
            part->downloaded.store(0);
        }
        budget -= result == kPartialFile ? 1 : 2;
        LOG(L"CMTCurlDownloader::downloadThreadFun", L"CurlDownLoader Code=%d\r\n", result);
        if (!self->workers.Pause(self->retryPause)) {
            break;
        }
        result = self->downloadExe(part);
    }
    if (part->file != nullptr) {
        std::fclose(part->file);
        part->file = nullptr;
    }
}

int CMTCurlDownloader::downloadExe(DownloadPartNode* part) {
    char range[64];
    std::snprintf(range, sizeof range, "%" PRId64 "-%" PRId64, part->start, part->end);
    part->requestedStart = part->start;
    part->responseChecked = false;
    part->responseAccepted = false;
    part->contentRangeSeen = false;
    part->contentRangeStart = -1;
    part->surplusRefused = false;

    CURL* curl = part->handle;
    int options = CurlCommon::SetBodyTransfer(curl, part->url, Limits());
    options |= curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CMTCurlDownloader::PartWriteCallback);
    options |= curl_easy_setopt(curl, CURLOPT_WRITEDATA, part);
    options |= curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CMTCurlDownloader::PartHeaderCallback);
    options |= curl_easy_setopt(curl, CURLOPT_HEADERDATA, part);
    options |= curl_easy_setopt(curl, CURLOPT_RANGE, range);
    if (options != 0) {
        return options;
    }

    int result = curl_easy_perform(curl);
    if (result == CURLE_WRITE_ERROR && part->surplusRefused && part->start > part->end) {
        result = CURLE_OK;  // the range is complete; only bytes beyond it were refused
    }
    if (result == CURLE_OK && part->start <= part->end) {
        // The response ended before the range did: fetch the rest on the next attempt.
        result = kPartialFile;
    }
    if (result != CURLE_OK) {
        const std::wstring text = CurlCommon::ResultText(result);
        LOG(L"CMTCurlDownloader::downloadExe", L"error:%d:%s\r\n", result, text.c_str());
    } else {
        LOG(L"CMTCurlDownloader::downloadExe", L"curl_easy_cleanup\r\n");
    }
    curl_easy_reset(curl);
    if (result == CURLE_OK && part->file != nullptr) {
        std::fclose(part->file);
        part->file = nullptr;
    }
    part->state = result;
    return result;
}

std::size_t CMTCurlDownloader::PartHeaderCallback(char* data, std::size_t size, std::size_t count, void* partPointer) {
    auto* part = static_cast<DownloadPartNode*>(partPointer);
    const std::size_t total = size * count;
    if (StartsWithNoCase(data, total, "http/")) {
        // A new response (after a redirect, or the final one): forget the previous headers.
        part->contentRangeSeen = false;
        part->contentRangeStart = -1;
    } else if (StartsWithNoCase(data, total, "content-range:")) {
        const std::string value(data + std::strlen("content-range:"), total - std::strlen("content-range:"));
        long long first = -1;
        if (std::sscanf(value.c_str(), " bytes %lld-", &first) == 1 ||
            std::sscanf(value.c_str(), " BYTES %lld-", &first) == 1) {
            part->contentRangeSeen = true;
            part->contentRangeStart = first;
        } else {
            part->contentRangeSeen = true;  // unreadable: never matches the asked-for start
            part->contentRangeStart = -1;
        }
    }
    return total;
}

std::size_t CMTCurlDownloader::PartWriteCallback(char* data, std::size_t size, std::size_t count, void* partPointer) {
    auto* part = static_cast<DownloadPartNode*>(partPointer);
    if (part == nullptr || part->file == nullptr) {
        return 0;
    }
    if (!part->responseChecked) {
        part->responseChecked = true;
        long status = 0;
        curl_easy_getinfo(part->handle, CURLINFO_RESPONSE_CODE, &status);
        if (part->contentRangeSeen) {
            part->responseAccepted = (status == 206 || status == 200) &&
                                     part->contentRangeStart == part->requestedStart;
        } else if (status == 200 && part->requestedStart == 0) {
            part->responseAccepted = true;  // the whole body, from the first byte on
        } else {
            part->responseAccepted = false;
            if (status == 200) {
                part->owner->rangeIgnored.store(true);
            }
        }
        if (!part->responseAccepted) {
            LOG(L"CMTCurlDownloader::PartWriteCallback",
                L"response is not the asked-for range: status %d, asked %lld, got %lld\r\n", static_cast<int>(status),
                static_cast<long long>(part->requestedStart), static_cast<long long>(part->contentRangeStart));
        }
    }
    if (!part->responseAccepted) {
        return 0;
    }
    if (part->start > part->end) {
        part->surplusRefused = true;
        return 0;
    }
    std::size_t toWrite = size * count;
    if (part->start + static_cast<std::int64_t>(toWrite) > part->end + 1) {
        toWrite = static_cast<std::size_t>(part->end - part->start + 1);
        part->surplusRefused = true;
    }
    const std::size_t written = std::fwrite(data, 1, toWrite, part->file);
    part->start += static_cast<std::int64_t>(written);
    part->downloaded.fetch_add(static_cast<std::int64_t>(written));
    return written;
}

int CMTCurlDownloader::ProgressCallback(void* downloader, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* self = static_cast<CMTCurlDownloader*>(downloader);
    if (self->stopRequested.load()) {
        return 1;
    }
    const std::int64_t now = Platform::WallClockSeconds();
    // Held while the event is sent, so that progress events never overlap.
    std::lock_guard<std::mutex> lock(self->progressMutex);
    if (now - self->lastProgressTime < 1) {
        return 0;
    }
    self->lastProgressTime = now;
    double percent = 0.0;
    if (self->length >= kMinimumLength) {
        for (const auto& part : self->parts) {
            const std::int64_t present = part->downloaded.load();
            if (present > 0) {
                percent += static_cast<double>(present) * 100.0 / static_cast<double>(self->length);
            }
        }
    }
    if (percent > 100.0) {
        return 0;
    }
    if (percent - self->lastPercent >= 1.0) {
        self->lastPercent = percent;
        self->callback(DL_CODE_PROGRESS, percent / 100.0, L"");
    }
    return 0;
}

void CMTCurlDownloader::ClearParts() {
    for (auto& part : parts) {
        part->thread.reset();  // joins: the handle and file are the thread's until it ends
        curl_easy_cleanup(part->handle);
        part->handle = nullptr;
        if (part->file != nullptr) {
            std::fclose(part->file);
            part->file = nullptr;
        }
    }
    parts.clear();
}

bool CMTCurlDownloader::MergeParts() {
    for (const auto& part : parts) {
        if (FileSizeOf(part->partPath) != part->end - part->rangeStart + 1) {
            LOG(L"CMTCurlDownloader::MergeParts", L"part file has the wrong size: %s\r\n",
                Platform::ActiveToWide(part->partPath).c_str());
            return false;
        }
    }
    FILE* first = std::fopen(PartPath(narrowPath, 0).c_str(), "ab");
    if (first == nullptr) {
        return false;
    }
    std::vector<char> block(kMergeBlock);
    bool ok = true;
    for (std::size_t i = 1; i < parts.size() && ok; ++i) {
        FILE* next = std::fopen(parts[i]->partPath.c_str(), "rb");
        if (next == nullptr) {
            ok = false;
            break;
        }
        for (;;) {
            const std::size_t got = std::fread(block.data(), 1, block.size(), next);
            if (got > 0 && std::fwrite(block.data(), 1, got, first) != got) {
                ok = false;
                break;
            }
            if (got < block.size()) {
                ok = ok && std::ferror(next) == 0;
                break;
            }
        }
        std::fclose(next);
        const std::wstring widePath = Platform::ActiveToWide(parts[i]->partPath);
        LOG(L"CMTCurlDownloader::waitForFinishThreadFun", L"partPath::%s\r\n", widePath.c_str());
    }
    if (std::fclose(first) != 0) {
        ok = false;
    }
    if (ok) {
        ok = std::rename(PartPath(narrowPath, 0).c_str(), narrowPath.c_str()) == 0;
    }
    DeletePartFiles(narrowPath);
    return ok;
}

void CMTCurlDownloader::waitForFinishThreadFun() {
    int err = 0;
    for (;;) {
        for (auto& part : parts) {
            part->thread.reset();  // join
        }
        if (stopRequested.load()) {
            ClearParts();
            return;
        }
        err = 0;
        for (const auto& part : parts) {
            if (part->state != kPartComplete) {
                err = part->state;
                break;
            }
        }
        if (err != 0 && rangeIgnored.load() && parts.size() > 1) {
            // The server answers every range with the whole file: fetch it as one range.
            LOG(L"CMTCurlDownloader::waitForFinishThreadFun", L"ranges ignored by the server, one range\r\n");
            ClearParts();
            DeletePartFiles(narrowPath);
            if (!StartParts()) {
                ClearParts();
                return;
            }
            continue;
        }
        break;
    }

    if (err == 0) {
        {
            std::lock_guard<std::mutex> lock(progressMutex);
            lastPercent = 0.0;
        }
        if (!MergeParts()) {
            err = kPartFileError;
        }
    }
    if (err == 0) {
        if (expectedMd5.size() == 32) {
            const std::string actual = Utils::GetFileMd5(narrowPath);
            if (actual.size() == 32 && actual != expectedMd5) {
                callback(DL_CODE_MD5_ERROR, 0.0, L"mtcurl文件md5校验失败");
                std::remove(narrowPath.c_str());
                ClearParts();
                if (!retried) {
                    retried = true;
                    LOG(L"CMTCurlDownloader::waitForFinishThreadFun", L"finish recv, md5 chaek failed retry once.\r\n");
                    callback(DL_CODE_RETRY, 0.0, L"LibCurl");
                } else {
                    LOG(L"CMTCurlDownloader::waitForFinishThreadFun",
                        L"finish recv, md5 chaek failed and retry failed.\r\n");
                    callback(DL_CODE_FAIL, 0.0, L"LibCurl");
                }
                return;
            }
        } else {
            callback(DL_CODE_MD5_ERROR, 0.0, L"mtcurl获取url-md5失败");
        }
        LOG(L"CMTCurlDownloader::waitForFinishThreadFun", L"finish recv\r\n");
        ClearParts();
        callback(DL_CODE_SUCCESS, 0.0, L"LibCurl");
        return;
    }

    ClearParts();
    bool noProgress = false;
    {
        std::lock_guard<std::mutex> lock(progressMutex);
        noProgress = lastPercent == 0.0;
    }
    if (noProgress) {
        DeletePartFiles(narrowPath);
    }
    if (!retried) {
        retried = true;
        callback(DL_CODE_RETRY, static_cast<double>(err), L"LibCurl");
    } else {
        {
            std::lock_guard<std::mutex> lock(progressMutex);
            lastPercent = 0.0;
        }
        callback(DL_CODE_FAIL, static_cast<double>(err), L"LibCurl");
    }
}
