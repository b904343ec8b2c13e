// The single-stream downloader against a misbehaving host on 127.0.0.1.

#include <gtest/gtest.h>

#include <cstdio>

#include "download/curl_downloader.h"
#include "downloader_test_support.h"

namespace {

using namespace DownloadTest;
using DownloadRun = DownloadRunOf<CCurlDownloader>;

const CurlDownloaderProfile kProfile = {
    .digestBodySize = 2 * kMiB + 17,
    .redirects = 4,
    .noDigestText = L"curl获取url-md5失败",
    .mismatchText = L"curl文件md5校验失败",
    // The single-stream downloader keeps a file that failed its digest.
    .mismatchedFileKept = true,
    .sideFileSuffixes = {".part"},
    .teardownBodySize = 4 * kMiB,
    .parallelTransfers = 1,
    .goneAfterTeardown = {"", ".part"},
};

TEST(CurlDownloaderTest, EventOrderFollowsTheDigestInTheResolvedAddress) {
    ExpectEventOrderFollowsTheDigest<CCurlDownloader>(kProfile);
}

// Failures that no retry can mend: the budget is spent and the last result reported.
TEST(CurlDownloaderTest, HopelessAddressesSpendTheBudgetAndReportTheLastResult) {
    FaultServer server(FaultServer::MakeBody(2 * kMiB));
    FaultServer small(FaultServer::MakeBody(kMiB - 1));
    FaultServer unsized(FaultServer::MakeBody(2 * kMiB));
    unsized.knobs.noContentLength = true;
    FaultServer failing(FaultServer::MakeBody(2 * kMiB));
    failing.knobs.getStatus = 500;
    FaultServer dropping(FaultServer::MakeBody(2 * kMiB));
    dropping.knobs.dropTimes = -1;
    dropping.knobs.dropAfterBytes = 1000;

    const struct {
        const char* name;
        FaultServer* server;
        std::string url;
        double value;
        std::size_t bodyRequests;
    } cases[] = {
        {"redirect loop", &server, server.LoopUrl(), -998.0, 0},
        {"404", &server, server.StatusUrl(404), -998.0, 0},
        {"file under 1 MiB", &small, small.DigestUrl(), -998.0, 0},
        {"no Content-Length", &unsized, unsized.DigestUrl(), -998.0, 0},
        // Six attempts: every failure but a cut connection costs 2 of the 12.
        {"500 on the transfer", &failing, failing.DigestUrl(), 22.0, 6},
        // Twelve attempts: a cut connection costs 1.
        {"connection cut every time", &dropping, dropping.DigestUrl(), 18.0, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = PackagePath("hopeless");
        DownloadRun run(c.url, path);
        run.StartAndWait();
        ASSERT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1004}));
        const auto events = run.recorder.Events();
        EXPECT_EQ(events.back().value, c.value);
        EXPECT_EQ(events.back().text, L"LibCurl");
        EXPECT_EQ(c.server->PackageGets().size(), c.bodyRequests);
        EXPECT_FALSE(TestSupport::FileExists(path));
    }
}

TEST(CurlDownloaderTest, ResolutionOfAnUnsizedFileIsTriedSixTimes) {
    FaultServer small(FaultServer::MakeBody(kMiB - 1));
    DownloadRun run(small.PlainUrl(), PackagePath("six"));
    run.StartAndWait();
    std::size_t heads = 0;
    for (const auto& request : small.Requests()) {
        heads += request.method == "HEAD" ? 1 : 0;
    }
    // Three header-only requests per attempt (resolve, resolve again, length).
    EXPECT_EQ(heads, 18u);
}

// Bodies are stored as received, so the transfer must not invite a compressed encoding.
TEST(CurlDownloaderTest, TransferAsksForTheBodyAsIs) {
    FaultServer server(FaultServer::MakeBody(2 * kMiB));
    DownloadRun run(server.DigestUrl(), PackagePath("identity"));
    run.StartAndWait();
    const auto gets = server.PackageGets();
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].acceptEncoding.find("gzip"), std::string::npos) << gets[0].acceptEncoding;
    EXPECT_EQ(gets[0].acceptEncoding.find("deflate"), std::string::npos) << gets[0].acceptEncoding;
}

TEST(CurlDownloaderTest, ExactlyOneMebibyteIsDownloaded) {
    FaultServer server(FaultServer::MakeBody(kMiB));
    const std::string path = PackagePath("one");
    DownloadRun run(server.DigestUrl(), path);
    run.StartAndWait();
    EXPECT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1003}));
    EXPECT_EQ(TestSupport::ReadFile(path), server.Body());
}

TEST(CurlDownloaderTest, UnwritableSideFileSpendsTheBudget) {
    FaultServer server(FaultServer::MakeBody(2 * kMiB));
    const std::string path = TestSupport::MakeFolder("nofolder") + "/missing/__Package_parlumo.exe";
    DownloadRun run(server.DigestUrl(), path);
    run.StartAndWait();
    ASSERT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1004}));
    EXPECT_EQ(run.recorder.Events().back().value, -996.0);
    EXPECT_TRUE(server.PackageGets().empty());
}

TEST(CurlDownloaderTest, EmptyDestinationFailsAtOnce) {
    FaultServer server(FaultServer::MakeBody(2 * kMiB));
    DownloadRun run(server.DigestUrl(), "");
    run.StartAndWait();
    const auto events = run.recorder.Events();
    ASSERT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1004}));
    EXPECT_EQ(events.back().value, 1.0);
    EXPECT_EQ(events.back().text, L"");
    EXPECT_TRUE(server.Requests().empty());
}

// Cut connections and stalls are resumed from the ".part" file, never restarted from zero.
TEST(CurlDownloaderTest, InterruptedTransfersResumeFromThePartFile) {
    const std::size_t size = 3 * kMiB + 5;
    const std::int64_t cut = 400000;
    const struct {
        const char* name;
        int drops;
        int stalls;
    } cases[] = {
        {"two cut connections", 2, 0},
        {"two stalls below 1 byte/s", 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultServer server(FaultServer::MakeBody(size));
        server.knobs.dropTimes = c.drops;
        server.knobs.dropAfterBytes = cut;
        server.knobs.trickleTimes = c.stalls;
        server.knobs.trickleAfterBytes = cut;
        const std::string path = PackagePath("resume");
        DownloadRun run(server.DigestUrl(), path);
        run.StartAndWait();
        EXPECT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1003}));
        const auto gets = server.PackageGets();
        ASSERT_EQ(gets.size(), 3u);
        EXPECT_EQ(gets[0].range, "");
        for (std::size_t i = 1; i < gets.size(); ++i) {
            // A stalled response may have trickled a few bytes past the cut.
            long long from = -1;
            ASSERT_EQ(std::sscanf(gets[i].range.c_str(), "bytes=%lld-", &from), 1) << gets[i].range;
            EXPECT_GE(from, static_cast<long long>(i) * cut);
            EXPECT_LE(from, static_cast<long long>(i) * cut + 16);
        }
        EXPECT_EQ(TestSupport::ReadFile(path), server.Body());
    }
}

// A host that cannot continue a cut transfer is downloaded again from the first byte
// instead of failing on every resume or gluing the body's beginning to the side file.
TEST(CurlDownloaderTest, HostIgnoringRangeIsDownloadedAgainFromTheStart) {
    FaultServer server(FaultServer::MakeBody(2 * kMiB + 3));
    server.knobs.ignoreRange = true;
    server.knobs.dropTimes = 1;
    server.knobs.dropAfterBytes = 500000;
    const std::string path = PackagePath("ignored");
    DownloadRun run(server.DigestUrl(), path);
    run.StartAndWait();
    EXPECT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1003}));
    EXPECT_EQ(TestSupport::ReadFile(path), server.Body());
}

TEST(CurlDownloaderTest, PermanentStallFailsWithTimeout) {
    FaultServer server(FaultServer::MakeBody(2 * kMiB));
    server.knobs.trickleTimes = -1;
    server.knobs.trickleAfterBytes = 0;
    const std::string path = PackagePath("stall");
    DownloadRun run(server.DigestUrl(), path);
    run.StartAndWait();
    ASSERT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1004}));
    EXPECT_EQ(run.recorder.Events().back().value, 28.0);  // CURLE_OPERATION_TIMEDOUT
    EXPECT_FALSE(TestSupport::FileExists(path));
}

TEST(CurlDownloaderTest, ProgressIsThrottledToOncePerSecondAndCountsResumedBytes) {
    FaultServer server(FaultServer::MakeBody(3 * kMiB));
    server.knobs.bytesPerSecond = 1200000;
    server.knobs.dropTimes = 1;
    server.knobs.dropAfterBytes = 1500000;
    std::vector<RecordedEvent> progress;
    ASSERT_NO_FATAL_FAILURE(RunWithThrottledProgress<CCurlDownloader>(server.DigestUrl(), progress));
    for (std::size_t i = 0; i < progress.size(); ++i) {
        EXPECT_GT(progress[i].value, 0.0);
        EXPECT_LE(progress[i].value, 1.0);
        if (i > 0) {
            // The resumed transfer starts counting at the side file's size, not at zero.
            EXPECT_GE(progress[i].value, progress[i - 1].value);
        }
    }
}

TEST(CurlDownloaderTest, ProgressWithoutSpeedOrAboveTheWholeIsDropped) {
    EventRecorder recorder;
    CCurlDownloader downloader(recorder.Callback(), L"http://127.0.0.1:9/x", Wide(PackagePath("relay")));
    CCurlDownloader::OnProgress(&downloader, 0.0, 0.0, 50.0);
    CCurlDownloader::OnProgress(&downloader, 1000.0, 0.0, 100.5);
    CCurlDownloader::OnProgress(&downloader, 1000.0, 0.0, 100.0);
    CCurlDownloader::OnProgress(&downloader, 1000.0, 0.0, 25.0);
    const auto events = recorder.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].value, 1.0);
    EXPECT_EQ(events[1].value, 0.25);
}

TEST(CurlDownloaderTest, NewDownloaderDiscardsAnOldSideFile) {
    const std::string path = PackagePath("stale");
    TestSupport::WriteFile(path + ".part", "left by an earlier run");
    EventRecorder recorder;
    CCurlDownloader downloader(recorder.Callback(), L"http://127.0.0.1:9/x", Wide(path));
    EXPECT_FALSE(TestSupport::FileExists(path + ".part"));
}

TEST(CurlDownloaderTest, DestructionStopsTransfersPausesAndSilentHosts) {
    ExpectDestructionStopsTransfersPausesAndSilentHosts<CCurlDownloader>(kProfile);
}

}  // namespace
