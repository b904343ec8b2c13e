#include "download/win_http_downloader.h"

#include <optional>

#include "download/http_connection.h"
#include "download/win_http_client.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/text_encoding.h"
#include "support/debug_log.h"
#include "support/file_md5.h"

namespace {

// Progress events are at least this far apart.
constexpr std::uint64_t kProgressIntervalMs = 1000;
// Value of DL_CODE_FAIL when an old destination file cannot be removed (access denied).
constexpr double kCannotReplaceFile = 5.0;

}  // namespace

WinHttpDownloader::WinHttpDownloader(DownloadEventCallback callback_, std::wstring url_, std::wstring path_)
    : callback(std::move(callback_)), path(std::move(path_)), url(std::move(url_)) {}

WinHttpDownloader::~WinHttpDownloader() {
    stopRequested.store(true);
    workers.Stop();
}

void WinHttpDownloader::Start() { workers.Start(this, &WinHttpDownloader::DownloadRoutine); }

void WinHttpDownloader::DownloadRoutine(void* downloader) {
    auto* self = static_cast<WinHttpDownloader*>(downloader);
    self->workers.EnterWorker();
    self->Run();
}

void WinHttpDownloader::Run() {
    callback(DL_CODE_START, 1.0, L"");
    if (path.empty()) {
        callback(DL_CODE_FAIL, 1.0, L"");
        return;
    }
    // A fresh file: an old one's bytes must never end up in front of this body.
    if (Platform::PathExists(path) && !Platform::RemoveFile(path)) {
        LOG(L"WinHttpDownloader::Run", L"cannot replace %s\r\n", path.c_str());
        callback(DL_CODE_FAIL, kCannotReplaceFile, L"WinHttp");
        return;
    }

    WinHttpClient client(url);
    client.savePath = path;
    client.stopRequested = &stopRequested;
    std::uint64_t lastProgress = 0;
    // The digest of the stored body, computed while it is written so the file need not
    // be read again; restarted with every attempt of the client, and only made when the
    // answering address carries a digest to compare with.
    std::optional<Utils::Md5Context> digest;
    client.onBodyBegin = [&](std::uint64_t) {
        lastProgress = Platform::MonotonicMilliseconds();
        digest.reset();
        if (Utils::GetUrlMd5(Platform::WideToUtf8(client.finalUrl)).size() == 32) {
            digest.emplace();
        }
    };
    client.onBodyData = [&](const char* data, std::size_t size, std::uint64_t received, std::uint64_t total) {
        if (digest) {
            digest->Update(data, size);
        }
        const std::uint64_t now = Platform::MonotonicMilliseconds();
        if (total == 0 || received > total || now - lastProgress < kProgressIntervalMs) {
            return;
        }
        lastProgress = now;
        callback(DL_CODE_PROGRESS, static_cast<double>(received) / static_cast<double>(total), L"");
    };
    const bool received = client.Request(L"GET");
    if (Stopping()) {
        Platform::RemoveFile(path);
        return;  // the downloader is being destroyed; its owner expects no more events
    }
    if (!received) {
        LOG(L"WinHttpDownloader::Run", L"request failed, error %u\r\n", client.lastError);
        Platform::RemoveFile(path);
        callback(DL_CODE_FAIL, static_cast<double>(client.lastError), L"WinHttp");
        return;
    }
    int status = 0;
    for (wchar_t c : client.statusCode) {
        status = status * 10 + (c - L'0');
    }
    if (status < 200 || status > 299) {
        LOG(L"WinHttpDownloader::Run", L"HTTP status %d\r\n", status);
        Platform::RemoveFile(path);
        callback(DL_CODE_FAIL, static_cast<double>(status), L"WinHttp");
        return;
    }

    const std::string expected = Utils::GetUrlMd5(Platform::WideToUtf8(client.finalUrl));
    if (expected.size() == 32) {
        const std::string actual = digest ? digest->FinalHex() : Utils::GetFileMd5(Platform::WideToActive(path));
        if (actual.size() == 32 && actual != expected) {
            callback(DL_CODE_MD5_ERROR, 0.0, L"winhttp文件md5校验失败");
            if (md5Retried) {
                callback(DL_CODE_FAIL, 0.0, L"WinHttp");
            } else {
                md5Retried = true;
                callback(DL_CODE_RETRY, 0.0, L"WinHttp");
            }
            return;
        }
    } else {
        callback(DL_CODE_MD5_ERROR, 0.0, L"winhttp获取url-md5失败");
    }
    callback(DL_CODE_SUCCESS, 0.0, L"WinHttp");
}
