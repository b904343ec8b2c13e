// parlumo-fetch [-downloadtype=N] URL DEST
//
// Runs the downloader the installer would choose for download type N (2 the WinHTTP
// method, 3 the multi-part downloader, anything else the single-stream downloader) and
// prints every event as "code<TAB>value<TAB>text". Like the installer it asks the
// downloader once more when it requests a restart. Exit status: 0 after success, 1 after
// failure, 2 for a usage error.

#include <clocale>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "download/curl_downloader.h"
#include "download/downloader.h"
#include "download/mt_curl_downloader.h"
#include "platform/text_encoding.h"
#if defined(PARLUMO_FETCH_WIN_HTTP)
#include "download/win_http_downloader.h"
#endif

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Usage(const char* reason) {
    std::fprintf(stderr, "parlumo-fetch: %s\nusage: parlumo-fetch [-downloadtype=N] URL DEST\n", reason);
    return kExitUsage;
}

// The end of the download as the events tell it; shared between the downloader's threads
// and main.
struct Outcome {
    std::mutex mutex;  // guards `finished` and `code`
    std::condition_variable changed;
    bool finished = false;
    int code = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    int downloadType = 1;
    std::string url;
    std::string destination;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        const char* prefix = "-downloadtype=";
        if (std::strncmp(argument, prefix, std::strlen(prefix)) == 0) {
            const char* number = argument + std::strlen(prefix);
            char* end = nullptr;
            const long value = std::strtol(number, &end, 10);
            if (*number == '\0' || *end != '\0' || value < -2147483647L || value > 2147483647L) {
                return Usage("the download type must be a whole number");
            }
            downloadType = static_cast<int>(value);
        } else if (argument[0] == '-' && argument[1] != '\0') {
            return Usage("unknown option");
        } else if (positional == 0) {
            url = argument;
            ++positional;
        } else if (positional == 1) {
            destination = argument;
            ++positional;
        } else {
            return Usage("too many arguments");
        }
    }
    if (positional != 2 || url.empty() || destination.empty()) {
        return Usage("an address and a destination are needed");
    }

    Outcome outcome;
    std::mutex downloaderMutex;  // guards `downloader` against a restart during teardown
    std::unique_ptr<CDownloader> downloader;
    DownloadEventCallback callback = [&](int code, double value, const wchar_t* text) {
        const std::string utf8 = Platform::WideToUtf8(text);
        std::printf("%d\t%g\t%s\n", code, value, utf8.c_str());
        std::fflush(stdout);
        if (code == DL_CODE_RETRY) {
            std::lock_guard<std::mutex> lock(downloaderMutex);
            if (downloader) {
                downloader->Start();
            }
        }
        if (code == DL_CODE_SUCCESS || code == DL_CODE_FAIL) {
            {
                std::lock_guard<std::mutex> lock(outcome.mutex);
                outcome.finished = true;
                outcome.code = code;
            }
            outcome.changed.notify_all();
        }
    };

    const std::wstring wideUrl = Platform::ActiveToWide(url);
    const std::wstring widePath = Platform::ActiveToWide(destination);
    {
        std::lock_guard<std::mutex> lock(downloaderMutex);
        if (downloadType == 2) {
#if defined(PARLUMO_FETCH_WIN_HTTP)
            downloader = std::make_unique<WinHttpDownloader>(callback, wideUrl, widePath);
#else
            return Usage("download type 2 is not part of this build");
#endif
        } else if (downloadType == 3) {
            downloader = std::make_unique<CMTCurlDownloader>(callback, wideUrl, widePath);
        } else {
            downloader = std::make_unique<CCurlDownloader>(callback, wideUrl, widePath);
        }
        downloader->Start();
    }

    int code = 0;
    {
        std::unique_lock<std::mutex> lock(outcome.mutex);
        outcome.changed.wait(lock, [&] { return outcome.finished; });
        code = outcome.code;
    }
    std::unique_ptr<CDownloader> finished;
    {
        std::lock_guard<std::mutex> lock(downloaderMutex);
        finished = std::move(downloader);
    }
    finished.reset();  // joins the downloader's threads
    return code == DL_CODE_SUCCESS ? kExitSuccess : kExitFailure;
}
