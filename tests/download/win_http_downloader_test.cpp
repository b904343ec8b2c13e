// The WinHTTP-style downloader against a misbehaving host on 127.0.0.1.

#include "download/win_http_downloader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "download/http_connection.h"
#include "downloader_test_support.h"

namespace {

using namespace DownloadTest;
using DownloadRun = DownloadRunOf<WinHttpDownloader>;

}  // namespace

// What each answer of the host ends in; never a file that is not the package.
TEST(WinHttpDownloaderTest, EventsForEveryOutcome) {
    FaultServer server(FaultServer::MakeBody(2 * kMiB + 17));
    const struct {
        const char* name;
        std::string url;
        int getStatus;
        int dropTimes;
        std::vector<int> codes;
        double failValue;
        std::wstring md5Text;
        bool fileKept;
    } cases[] = {
        {"digest folder", server.DigestUrl(), 0, 0, {1001, 1003}, 0, L"", true},
        {"redirect chain to the digest folder", server.RedirectUrl(4), 0, 0, {1001, 1003}, 0, L"", true},
        {"no digest folder", server.PlainUrl(), 0, 0, {1001, 1006, 1003}, 0, L"winhttp获取url-md5失败", true},
        {"connection dropped once", server.DigestUrl(), 0, 1, {1001, 1003}, 0, L"", true},
        {"connection always dropped", server.DigestUrl(), 0, -1, {1001, 1004}, Http::kErrorConnectionError, L"",
         false},
        {"not found", server.DigestUrl(), 404, 0, {1001, 1004}, 404, L"", false},
        {"server error", server.DigestUrl(), 500, 0, {1001, 1004}, 500, L"", false},
        {"redirect loop", server.LoopUrl(), 0, 0, {1001, 1004}, Http::kErrorRedirectFailed, L"", false},
        {"nothing listening", "http://127.0.0.1:1/" + server.Md5() + "/package.exe", 0, 0, {1001, 1004},
         Http::kErrorCannotConnect, L"", false},
    };
    for (const auto& c : cases) {
        server.knobs.getStatus = c.getStatus;
        server.knobs.dropTimes = c.dropTimes;
        server.knobs.dropAfterBytes = 700000;
        const std::string path = PackagePath("outcome");
        // Whatever was at the destination before never survives into the new file.
        TestSupport::WriteFile(path, "an old package that must not be appended to");
        DownloadRun run(c.url, path);
        run.StartAndWait();
        EXPECT_EQ(run.recorder.Codes(), c.codes) << c.name;
        const auto events = run.recorder.Events();
        if (c.codes.back() == DL_CODE_FAIL) {
            EXPECT_EQ(events.back().value, c.failValue) << c.name;
            EXPECT_EQ(events.back().text, L"WinHttp") << c.name;
        } else {
            EXPECT_EQ(events.back().text, L"WinHttp") << c.name;
        }
        for (const auto& event : events) {
            if (event.code == DL_CODE_MD5_ERROR) {
                EXPECT_EQ(event.text, c.md5Text) << c.name;
            }
        }
        EXPECT_EQ(TestSupport::FileExists(path), c.fileKept) << c.name;
        if (c.fileKept) {
            EXPECT_TRUE(TestSupport::ReadFile(path) == server.Body()) << c.name << ": file is not the package";
        }
    }
}

// A digest that does not match asks the owner for one restart; the second mismatch fails.
TEST(WinHttpDownloaderTest, DigestMismatchRestartsOnceThenFails) {
    FaultServer server(FaultServer::MakeBody(kMiB + 5));
    for (const std::string& url : {server.WrongDigestUrl(), server.UpperDigestUrl()}) {
        const std::string path = PackagePath("mismatch");
        DownloadRun run(url, path);
        run.StartAndWait();
        ASSERT_TRUE(run.recorder.WaitFor(
            [](const RecordedEvent& e) { return e.code == DL_CODE_FAIL; }, std::chrono::seconds(60)));
        EXPECT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1006, 1005, 1001, 1006, 1004})) << url;
        const auto events = run.recorder.Events();
        EXPECT_EQ(events.back().value, 0.0);
        for (const auto& event : events) {
            if (event.code == DL_CODE_MD5_ERROR) {
                EXPECT_EQ(event.text, L"winhttp文件md5校验失败");
            }
        }
        EXPECT_EQ(server.PackageGets().size() % 2, 0u);
    }
}

// Fails before any request: the address is never asked (nothing listens there anyway).
TEST(WinHttpDownloaderTest, EmptyDestinationFails) {
    DownloadRun run("http://127.0.0.1:1/0123456789abcdef0123456789abcdef/package.exe", "");
    run.StartAndWait();
    const auto events = run.recorder.Events();
    ASSERT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1004}));
    EXPECT_EQ(events.back().value, 1.0);
    EXPECT_EQ(events.back().text, L"");
}

// A body without a Content-Length still arrives whole (chunked), without progress since
// no fraction can be known.
TEST(WinHttpDownloaderTest, ChunkedBodyWithoutLength) {
    FaultServer server(FaultServer::MakeBody(3 * kMiB + 1));
    server.knobs.noContentLength = true;
    const std::string path = PackagePath("chunked");
    DownloadRun run(server.DigestUrl(), path);
    run.StartAndWait();
    EXPECT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1003}));
    EXPECT_TRUE(run.recorder.Progress().empty());
    EXPECT_TRUE(TestSupport::ReadFile(path) == server.Body());
}

// Progress comes as fractions that only grow, at most once a second.
TEST(WinHttpDownloaderTest, ProgressIsThrottledFractions) {
    FaultServer server(FaultServer::MakeBody(3 * kMiB));
    server.knobs.bytesPerSecond = static_cast<std::int64_t>(kMiB);
    const std::string path = PackagePath("progress");
    DownloadRun run(server.DigestUrl(), path);
    run.StartAndWait();
    EXPECT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1003}));
    const auto progress = run.recorder.Progress();
    ASSERT_FALSE(progress.empty());
    // About three seconds of transfer allow at most three progress events.
    EXPECT_LE(progress.size(), 4u);
    double last = 0.0;
    for (const auto& event : progress) {
        EXPECT_GT(event.value, last);
        EXPECT_LE(event.value, 1.0);
        EXPECT_EQ(event.text, L"");
        last = event.value;
    }
}

// Destroying the downloader in the middle of a stalled transfer returns promptly, sends no
// further event and leaves no partial package.
TEST(WinHttpDownloaderTest, DestroyDuringTransferStopsPromptly) {
    FaultServer server(FaultServer::MakeBody(2 * kMiB));
    server.knobs.trickleTimes = -1;
    server.knobs.trickleAfterBytes = 300000;
    const std::string path = PackagePath("teardown");
    EventRecorder recorder;
    auto downloader = std::make_unique<WinHttpDownloader>(recorder.Callback(), Wide(server.DigestUrl()), Wide(path));
    downloader->Start();
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return TestSupport::FileExists(path) && !server.PackageGets().empty(); }));
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        downloader.reset();
        destroyed = true;
    });
    const bool prompt = TestSupport::WaitUntil([&] { return destroyed.load(); }, std::chrono::seconds(5));
    destroyer.join();
    EXPECT_TRUE(prompt) << "destruction waited for the stalled transfer";
    EXPECT_EQ(recorder.Codes(), (std::vector<int>{1001}));
    EXPECT_FALSE(TestSupport::FileExists(path));
}

// Destroying right after Start(), before anything arrived, is just as clean.
TEST(WinHttpDownloaderTest, DestroyRightAfterStart) {
    FaultServer server(FaultServer::MakeBody(kMiB));
    for (int round = 0; round < 20; ++round) {
        EventRecorder recorder;
        auto downloader = std::make_unique<WinHttpDownloader>(recorder.Callback(), Wide(server.DigestUrl()),
                                                              Wide(PackagePath("early")));
        downloader->Start();
        downloader.reset();
        const auto codes = recorder.Codes();
        EXPECT_TRUE(codes.empty() || codes.front() == DL_CODE_START);
    }
}
