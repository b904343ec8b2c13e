// The multi-part downloader against a misbehaving host on 127.0.0.1.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "download/mt_curl_downloader.h"
#include "downloader_test_support.h"

namespace {

using namespace DownloadTest;
using DownloadRun = DownloadRunOf<CMTCurlDownloader>;

const CurlDownloaderProfile kProfile = {
    // Above 20 MiB, so that the file comes in two ranges.
    .digestBodySize = 21 * kMiB + 3,
    .redirects = 3,
    .noDigestText = L"mtcurl获取url-md5失败",
    .mismatchText = L"mtcurl文件md5校验失败",
    .mismatchedFileKept = false,
    .sideFileSuffixes = {"_0", "_1"},
    .teardownBodySize = 21 * kMiB,
    .parallelTransfers = 2,
    .goneAfterTeardown = {"", "_0", "_1"},
};

std::vector<std::string> SortedRanges(const std::vector<FaultServer::Request>& gets) {
    std::vector<std::string> ranges;
    for (const auto& get : gets) {
        ranges.push_back(get.range);
    }
    std::sort(ranges.begin(), ranges.end());
    return ranges;
}

long long RangeStart(const std::string& range) {
    long long from = -1;
    std::sscanf(range.c_str(), "bytes=%lld-", &from);
    return from;
}

TEST(MTCurlDownloaderTest, EventOrderFollowsTheDigestInTheResolvedAddress) {
    ExpectEventOrderFollowsTheDigest<CMTCurlDownloader>(kProfile);
}

// Files under 20 MiB come in one range, larger ones in two; the last takes the remainder.
TEST(MTCurlDownloaderTest, FileIsSplitIntoRangesAndMergedInOrder) {
    const struct {
        std::size_t size;
        std::vector<std::string> ranges;
    } cases[] = {
        {20 * kMiB - 1, {"bytes=0-20971518"}},
        {20 * kMiB, {"bytes=0-10485759", "bytes=10485760-20971519"}},
        {30 * kMiB + 1, {"bytes=0-15728639", "bytes=15728640-31457280"}},
        {256, {"bytes=0-255"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        FaultServer server(FaultServer::MakeBody(c.size, static_cast<std::uint32_t>(c.size)));
        const std::string path = PackagePath("split");
        DownloadRun run(server.DigestUrl(), path);
        run.StartAndWait();
        EXPECT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1003}));
        EXPECT_EQ(SortedRanges(server.PackageGets()), c.ranges);
        EXPECT_TRUE(TestSupport::ReadFile(path) == server.Body()) << "merged file differs from the package";
    }
}

TEST(MTCurlDownloaderTest, UnusableAddressesFailRightAfterStart) {
    FaultServer server(FaultServer::MakeBody(2 * kMiB));
    FaultServer tiny(FaultServer::MakeBody(255));
    FaultServer unsized(FaultServer::MakeBody(2 * kMiB));
    unsized.knobs.noContentLength = true;
    const struct {
        const char* name;
        std::string url;
    } cases[] = {
        {"redirect loop", server.LoopUrl()},
        {"404", server.StatusUrl(404)},
        {"500", server.StatusUrl(500)},
        {"255 bytes", tiny.DigestUrl()},
        {"no Content-Length", unsized.DigestUrl()},
        {"nobody listening", "http://127.0.0.1:9/x/package.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = PackagePath("unusable");
        DownloadRun run(c.url, path);
        run.StartAndWait();
        ASSERT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1004}));
        EXPECT_EQ(run.recorder.Events().back().value, 0.0);
        EXPECT_FALSE(TestSupport::FileExists(path));
    }
    EXPECT_TRUE(server.PackageGets().empty());
}

// Part files that cannot be made fail the attempt with -2, restart once, then fail.
TEST(MTCurlDownloaderTest, UnwritablePartFilesFailWithMinusTwo) {
    FaultServer server(FaultServer::MakeBody(21 * kMiB));
    const std::string path = TestSupport::MakeFolder("nofolder") + "/missing/__Package_parlumo.exe";
    DownloadRun run(server.DigestUrl(), path);
    run.StartAndWait();
    ASSERT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1005, 1001, 1004}));
    for (const auto& event : run.recorder.Events()) {
        if (event.code == DL_CODE_RETRY || event.code == DL_CODE_FAIL) {
            EXPECT_EQ(event.value, -2.0);
        }
    }
    EXPECT_TRUE(server.PackageGets().empty());
}

// A host that answers every range with the whole file must never produce a file glued
// together from the wrong offsets; the download goes through as one range instead, and a
// cut transfer of that range starts over from the first byte.
TEST(MTCurlDownloaderTest, HostIgnoringRangesIsFetchedAsOneRange) {
    const struct {
        const char* name;
        std::size_t size;
        int drops;
    } cases[] = {
        {"two ranges", 24 * kMiB + 7, 0},
        {"two ranges, one response cut", 24 * kMiB + 7, 1},
        {"one range, cut", 3 * kMiB + 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultServer server(FaultServer::MakeBody(c.size, 7));
        server.knobs.ignoreRange = true;
        server.knobs.dropTimes = c.drops;
        server.knobs.dropAfterBytes = 2 * kMiB;
        const std::string path = PackagePath("ignored");
        DownloadRun run(server.PlainUrl(), path);  // no digest: only the range checks protect the file
        run.StartAndWait();
        EXPECT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1006, 1003}));
        EXPECT_TRUE(TestSupport::ReadFile(path) == server.Body()) << "file assembled from wrong bytes";
        const auto gets = server.PackageGets();
        ASSERT_FALSE(gets.empty());
        // The last request asks for the whole file.
        EXPECT_EQ(gets.back().range, "bytes=0-" + std::to_string(c.size - 1));
    }
}

// A failed attempt after progress keeps the part files; the restart fetches only what is
// missing, and a part file longer than its range is taken as damaged and fetched again.
TEST(MTCurlDownloaderTest, RestartResumesPartFilesAndRefetchesDamagedOnes) {
    for (const bool damage : {false, true}) {
        SCOPED_TRACE(damage ? "first part file damaged" : "part files intact");
        FaultServer server(FaultServer::MakeBody(20 * kMiB));
        server.knobs.failRangesFrom = 10 * kMiB;  // the second range fails on every attempt
        const std::string path = PackagePath("restart");
        DownloadTimings timings = FastTimings();
        // Seven failed attempts of the second range span more than one progress second.
        timings.retryPause = std::chrono::milliseconds(400);
        DownloadRun run(server.DigestUrl(), path, timings);
        std::size_t getsBeforeRestart = 0;
        bool partFileKept = false;
        run.recorder.beforeRestart = [&] {
            getsBeforeRestart = server.PackageGets().size();
            partFileKept = TestSupport::ReadFile(path + "_0").size() == 10 * kMiB;
            if (damage) {
                std::string bytes = TestSupport::ReadFile(path + "_0");
                TestSupport::WriteFile(path + "_0", bytes + "trailing bytes of a damaged part");
            }
            server.knobs.failRangesFrom = -1;
        };
        run.StartAndWait();
        const auto codes = run.recorder.Codes();
        EXPECT_EQ(codes, (std::vector<int>{1001, 1005, 1001, 1003}));
        for (const auto& event : run.recorder.Events()) {
            if (event.code == DL_CODE_RETRY) {
                EXPECT_EQ(event.value, 22.0);  // the failing range's last result
            }
        }
        EXPECT_TRUE(partFileKept);
        const auto gets = server.PackageGets();
        std::vector<long long> restartStarts;
        for (std::size_t i = getsBeforeRestart; i < gets.size(); ++i) {
            restartStarts.push_back(RangeStart(gets[i].range));
        }
        std::sort(restartStarts.begin(), restartStarts.end());
        if (damage) {
            EXPECT_EQ(restartStarts, (std::vector<long long>{0, 10 * static_cast<long long>(kMiB)}));
        } else {
            EXPECT_EQ(restartStarts, (std::vector<long long>{10 * static_cast<long long>(kMiB)}));
        }
        EXPECT_TRUE(TestSupport::ReadFile(path) == server.Body()) << "merged file differs from the package";
    }
}

TEST(MTCurlDownloaderTest, FailureWithoutProgressStartsOverAndSecondFailureIsFinal) {
    FaultServer server(FaultServer::MakeBody(20 * kMiB));
    server.knobs.failRangesFrom = 0;
    const std::string path = PackagePath("noprogress");
    DownloadRun run(server.DigestUrl(), path);
    bool partFilesGone = false;
    run.recorder.beforeRestart = [&] {
        partFilesGone = !TestSupport::FileExists(path + "_0") && !TestSupport::FileExists(path + "_1");
    };
    run.StartAndWait();
    EXPECT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1005, 1001, 1004}));
    EXPECT_EQ(run.recorder.Events().back().value, 22.0);
    EXPECT_TRUE(partFilesGone);
    // Seven attempts per range and attempt: 2 ranges x 2 attempts x 7.
    EXPECT_EQ(server.PackageGets().size(), 28u);
    EXPECT_FALSE(TestSupport::FileExists(path));
}

TEST(MTCurlDownloaderTest, CutConnectionsAndStallsAreResumedWithinTheRange) {
    const struct {
        const char* name;
        int drops;
        int stalls;
    } cases[] = {
        {"cut connections", 6, 0},
        {"stalls below 1 byte/s", 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FaultServer server(FaultServer::MakeBody(22 * kMiB + 1));
        server.knobs.dropTimes = c.drops;
        server.knobs.dropAfterBytes = 3 * kMiB;
        server.knobs.trickleTimes = c.stalls;
        server.knobs.trickleAfterBytes = 0;
        const std::string path = PackagePath("cut");
        DownloadRun run(server.DigestUrl(), path);
        run.StartAndWait();
        EXPECT_EQ(run.recorder.Codes(), (std::vector<int>{1001, 1003}));
        EXPECT_TRUE(TestSupport::ReadFile(path) == server.Body()) << "merged file differs from the package";
    }
}

TEST(MTCurlDownloaderTest, ProgressIsThrottledAndGrowsByWholePercents) {
    FaultServer server(FaultServer::MakeBody(21 * kMiB));
    server.knobs.bytesPerSecond = 4 * kMiB;  // per range
    std::vector<RecordedEvent> progress;
    ASSERT_NO_FATAL_FAILURE(RunWithThrottledProgress<CMTCurlDownloader>(server.DigestUrl(), progress));
    double last = 0.0;
    for (const auto& event : progress) {
        EXPECT_GE(event.value - last, 0.01 - 1e-12);
        EXPECT_LE(event.value, 1.0);
        last = event.value;
    }
}

// Packages of 2 GiB and more are split like any other; the ranges are asked for with
// 64-bit offsets (the download is stopped after the first bytes).
TEST(MTCurlDownloaderTest, PackagesOfTwoGibibytesAndMoreAreSplitWithoutOverflow) {
    const std::int64_t size = 3LL * 1024 * kMiB + 1;
    FaultServer server(FaultServer::MakeBody(kMiB), size);
    server.knobs.bytesPerSecond = 100000;
    EventRecorder recorder;
    const std::string path = PackagePath("large");
    auto downloader = std::make_unique<CMTCurlDownloader>(recorder.Callback(), Wide(server.PlainUrl()), Wide(path),
                                                          FastTimings());
    downloader->Start();
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return server.PackageGets().size() >= 2; }))
        << "the ranges of a large package were never asked for";
    downloader.reset();
    EXPECT_EQ(SortedRanges(server.PackageGets()),
              (std::vector<std::string>{"bytes=0-1610612735", "bytes=1610612736-3221225472"}));
    EXPECT_EQ(recorder.Codes(), (std::vector<int>{1001}));
}

TEST(MTCurlDownloaderTest, DestructionStopsTransfersPausesAndSilentHosts) {
    ExpectDestructionStopsTransfersPausesAndSilentHosts<CMTCurlDownloader>(kProfile);
}

}  // namespace
