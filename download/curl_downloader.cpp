#include "download/curl_downloader.h"

#include <cstdio>

#include "platform/text_encoding.h"
#include "support/debug_log.h"
#include "support/file_md5.h"

namespace {

constexpr std::chrono::milliseconds kDefaultRetryPause{500};
constexpr int kPartialFile = 18;  // CURLE_PARTIAL_FILE: the connection ended before the length

}  // namespace

CCurlDownloader::CCurlDownloader(DownloadEventCallback callback_, std::wstring url_, std::wstring path_,
                                 const DownloadTimings& timings)
    : callback(std::move(callback_)),
      path(std::move(path_)),
      url(std::move(url_)),
      client(url, path, this, &CCurlDownloader::OnProgress, timings),
      retryPause(timings.retryPause.value_or(kDefaultRetryPause)) {
    // A new downloader never resumes a side file left by an earlier run.
    std::remove(Platform::WideToActive(client.GetFilePath(true)).c_str());
}

CCurlDownloader::~CCurlDownloader() {
    client.RequestStop();
    workers.Stop();
}

void CCurlDownloader::Start() { workers.Start(this, &CCurlDownloader::dlThreadFun); }

void CCurlDownloader::OnProgress(void* owner, double speed, double, double percent) {
    auto* self = static_cast<CCurlDownloader*>(owner);
    if (speed > 0.0 && percent <= 100.0) {
        self->callback(DL_CODE_PROGRESS, percent / 100.0, L"");
    }
}

void CCurlDownloader::dlThreadFun(void* downloader) {
    auto* self = static_cast<CCurlDownloader*>(downloader);
    self->workers.EnterWorker();
    self->callback(DL_CODE_START, 1.0, L"");
    if (self->path.empty()) {
        self->callback(DL_CODE_FAIL, 1.0, L"");
        return;
    }

    int budget = kRetryBudget;
    int result = self->client.Start();
    while (result != 0) {
        budget -= result == kPartialFile ? 1 : 2;
        if (budget <= 0) {
            self->callback(DL_CODE_FAIL, static_cast<double>(result), L"LibCurl");
            return;
        }
        LOG(L"CCurlDownloader::dlThreadFun", L"CurlDownLoader Code=%d\r\n", result);
        if (!self->workers.Pause(self->retryPause)) {
            return;  // the downloader is being destroyed; its owner expects no more events
        }
        result = self->client.Start();
    }

    const std::string expected = Utils::GetUrlMd5(self->client.RealUrl());
    if (expected.size() == 32) {
        const std::string actual = Utils::GetFileMd5(Platform::WideToActive(self->path));
        if (actual.size() == 32 && actual != expected) {
            self->callback(DL_CODE_MD5_ERROR, 0.0, L"curl文件md5校验失败");
            if (self->md5Retried) {
                self->callback(DL_CODE_FAIL, 0.0, L"LibCurl");
            } else {
                self->md5Retried = true;
                self->callback(DL_CODE_RETRY, 0.0, L"LibCurl");
            }
            return;
        }
    } else {
        self->callback(DL_CODE_MD5_ERROR, 0.0, L"curl获取url-md5失败");
    }
    self->callback(DL_CODE_SUCCESS, 0.0, L"LibCurl");
}
