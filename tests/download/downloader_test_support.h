#pragma once
// What the downloader suites share: the package path, short timings, one download run to its
// end, teardown on another thread, and the checks every curl downloader must pass alike.
// Each check takes the downloader's class and a profile of what sets it apart (its texts,
// its side files, the file sizes that exercise it).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "download/download_timings.h"
#include "download/downloader.h"
#include "event_recorder.h"
#include "fault_server.h"
#include "platform/clock.h"
#include "test_support.h"

namespace DownloadTest {

constexpr std::size_t kMiB = 1048576;

// Proxy settings of the machine running the tests must never send a request anywhere but to
// the servers of the tests themselves. Inline: cleared once per test program, before main.
inline const bool kProxyEnvironmentCleared = [] {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                             "no_proxy", "NO_PROXY"}) {
        unsetenv(name);
    }
    return true;
}();

inline std::string PackagePath(const std::string& hint) {
    return TestSupport::MakeFolder(hint) + "/__Package_parlumo.exe";
}

// The test addresses and paths are ASCII.
inline std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Pauses short enough for a whole retry budget to run in a test.
inline DownloadTimings FastTimings() {
    DownloadTimings timings;
    timings.retryPause = std::chrono::milliseconds(10);
    timings.partStagger = std::chrono::milliseconds(10);
    timings.lowSpeedSeconds = 1;
    timings.connectTimeoutSeconds = 5;
    return timings;
}

template <typename Downloader>
constexpr bool kTakesTimings =
    std::is_constructible_v<Downloader, DownloadEventCallback, std::wstring, std::wstring, const DownloadTimings&>;

template <typename Downloader>
std::unique_ptr<Downloader> MakeDownloader(EventRecorder& recorder, const std::string& url, const std::string& path,
                                           const DownloadTimings& timings = FastTimings())
    requires kTakesTimings<Downloader>
{
    return std::make_unique<Downloader>(recorder.Callback(), Wide(url), Wide(path), timings);
}

// A downloader with timings of its own.
template <typename Downloader>
std::unique_ptr<Downloader> MakeDownloader(EventRecorder& recorder, const std::string& url, const std::string& path)
    requires(!kTakesTimings<Downloader>)
{
    return std::make_unique<Downloader>(recorder.Callback(), Wide(url), Wide(path));
}

// Runs one download to its end and keeps what it reported; the recorder restarts the
// downloader on DL_CODE_RETRY as the owner does.
template <typename Downloader>
struct DownloadRunOf {
    EventRecorder recorder;
    std::unique_ptr<Downloader> downloader;

    template <typename... Timings>
    DownloadRunOf(const std::string& url, const std::string& path, const Timings&... timings)
        : downloader(MakeDownloader<Downloader>(recorder, url, path, timings...)) {
        recorder.SetDownloader(downloader.get());
    }
    void StartAndWait() {
        downloader->Start();
        ASSERT_TRUE(recorder.WaitForEnd()) << "the download never reported success or failure";
    }
};

// Destroys the downloader on another thread and fails if that does not end in time.
template <typename Downloader>
void DestroyWithin(std::unique_ptr<Downloader>& downloader, std::chrono::seconds limit) {
    auto done = std::async(std::launch::async, [&downloader] { downloader.reset(); });
    ASSERT_EQ(done.wait_for(limit), std::future_status::ready) << "destruction did not stop the download";
}

// Runs a download of `url` that must succeed and hands back its progress events, having
// checked that there was one at least and one per wall-clock second of the run at most.
// Call through ASSERT_NO_FATAL_FAILURE.
template <typename Downloader>
void RunWithThrottledProgress(const std::string& url, std::vector<RecordedEvent>& progress) {
    DownloadRunOf<Downloader> run(url, PackagePath("progress"));
    const std::int64_t began = Platform::WallClockSeconds();
    run.StartAndWait();
    const std::int64_t ended = Platform::WallClockSeconds();
    ASSERT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1003}));
    progress = run.recorder.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_LE(static_cast<std::int64_t>(progress.size()), ended - began + 1);
}

// What sets one curl downloader apart in the checks below.
struct CurlDownloaderProfile {
    // The package of the digest checks: large enough for every range the downloader makes.
    std::size_t digestBodySize;
    int redirects;                     // redirects on the way to the digest folder
    const wchar_t* noDigestText;       // DL_CODE_MD5_ERROR text without a digest folder
    const wchar_t* mismatchText;       // DL_CODE_MD5_ERROR text of a digest that does not match
    bool mismatchedFileKept;           // whether a file failing its digest stays at the destination
    std::vector<std::string> sideFileSuffixes;  // files beside the destination while downloading
    // Teardown: the package size, the transfers running at once, and the files (suffixes of
    // the destination, "" for the destination itself) that must be gone afterwards.
    std::size_t teardownBodySize;
    std::size_t parallelTransfers;
    std::vector<std::string> goneAfterTeardown;
};

// Every way an address can resolve, and what the downloader makes of it.
template <typename Downloader>
void ExpectEventOrderFollowsTheDigest(const CurlDownloaderProfile& profile) {
    FaultServer server(FaultServer::MakeBody(profile.digestBodySize));
    const struct {
        const char* name;
        std::string url;
        std::vector<int> codes;
        std::vector<std::wstring> md5Texts;
        bool fileKept;
    } cases[] = {
        {"digest folder", server.DigestUrl(), {1001, 1003}, {}, true},
        {"redirect chain to the digest folder", server.RedirectUrl(profile.redirects), {1001, 1003}, {}, true},
        {"no digest folder", server.PlainUrl(), {1001, 1006, 1003}, {profile.noDigestText}, true},
        {"uppercase digest folder",
         server.UpperDigestUrl(),
         {1001, 1006, 1005, 1001, 1006, 1004},
         {profile.mismatchText, profile.mismatchText},
         profile.mismatchedFileKept},
        {"wrong digest folder",
         server.WrongDigestUrl(),
         {1001, 1006, 1005, 1001, 1006, 1004},
         {profile.mismatchText, profile.mismatchText},
         profile.mismatchedFileKept},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = PackagePath("digest");
        DownloadRunOf<Downloader> run(c.url, path);
        run.StartAndWait();
        EXPECT_EQ(run.recorder.Codes(), c.codes);
        std::vector<std::wstring> md5Texts;
        for (const auto& event : run.recorder.Events()) {
            if (event.code == DL_CODE_MD5_ERROR) {
                md5Texts.push_back(event.text);
            }
            // A restart or failure after a second mismatch carries no result of its own.
            if (event.code == DL_CODE_FAIL || event.code == DL_CODE_RETRY || event.code == DL_CODE_SUCCESS) {
                EXPECT_EQ(event.value, 0.0);
                EXPECT_EQ(event.text, L"LibCurl");
            }
        }
        EXPECT_EQ(md5Texts, c.md5Texts);
        if (c.fileKept) {
            EXPECT_EQ(TestSupport::ReadFile(path), server.Body()) << "the file is not the server's bytes";
        } else {
            // A file that failed its digest is removed, not left as if it were the package.
            EXPECT_FALSE(TestSupport::FileExists(path));
        }
        for (const auto& suffix : profile.sideFileSuffixes) {
            EXPECT_FALSE(TestSupport::FileExists(path + suffix)) << suffix;
        }
    }
}

// The owner may destroy the downloader at any moment; it must stop and join its threads.
template <typename Downloader>
void ExpectDestructionStopsTransfersPausesAndSilentHosts(const CurlDownloaderProfile& profile) {
    const std::size_t transfers = profile.parallelTransfers;
    const struct {
        const char* name;
        std::function<void(FaultServer&)> setup;
        std::function<bool(FaultServer&)> reached;
    } cases[] = {
        {"while transferring",
         [](FaultServer& server) { server.knobs.bytesPerSecond = 300000; },
         [transfers](FaultServer& server) { return server.PackageGets().size() >= transfers; }},
        {"while pausing before a retry",
         [](FaultServer& server) { server.knobs.getStatus = 500; },
         [](FaultServer& server) { return !server.PackageGets().empty(); }},
        {"while the host does not answer",
         [](FaultServer& server) { server.knobs.silentHead = true; },
         [](FaultServer& server) { return !server.Requests().empty(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultServer server(FaultServer::MakeBody(profile.teardownBodySize));
        c.setup(server);
        EventRecorder recorder;
        DownloadTimings timings = FastTimings();
        timings.retryPause = std::chrono::hours(1);
        timings.lowSpeedSeconds = 3600;
        const std::string path = PackagePath("teardown");
        auto downloader = MakeDownloader<Downloader>(recorder, server.DigestUrl(), path, timings);
        downloader->Start();
        ASSERT_TRUE(TestSupport::WaitUntil([&] { return c.reached(server); }))
            << "the download never reached the host";
        DestroyWithin(downloader, std::chrono::seconds(20));
        // A stopped download ends silently: no failure is reported to an owner that is
        // tearing it down.
        EXPECT_EQ(recorder.Codes(), (std::vector<int>{1001}));
        for (const auto& suffix : profile.goneAfterTeardown) {
            EXPECT_FALSE(TestSupport::FileExists(path + suffix)) << "left behind: \"" << suffix << "\"";
        }
    }
}

}  // namespace DownloadTest
