#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <thread>
#include <vector>

#include "support/debug_log.h"
#include "test_support.h"

namespace {

// Every test of the process logs into one shared file; each test reads only what was
// appended after it began.
class DebugLogTest : public ::testing::Test {
protected:
    void SetUp() override { start_ = TestSupport::ReadFile(TestSupport::CapturedLogFile()).size(); }

    std::vector<std::string> LinesContaining(const std::string& marker) const {
        const std::string all = TestSupport::ReadFile(TestSupport::CapturedLogFile());
        std::istringstream rest(all.substr(std::min(start_, all.size())));
        std::vector<std::string> lines;
        for (std::string line; std::getline(rest, line);)
            if (line.find(marker) != std::string::npos) lines.push_back(line);
        return lines;
    }

private:
    std::size_t start_ = 0;
};

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

TEST_F(DebugLogTest, LineHasTheExactPrefix) {
    const int sourceLine = __LINE__ + 1;
    LOG(L"Utils::Test::Prefix", L"value=%d text=%s 100%%\r\n", 42, L"\u5B89\u88C5");
    const auto lines = LinesContaining("Utils::Test::Prefix");
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    // <P#####><T#####><YYYY-MM-DD hh:mm:ss.mmm>(Function)<####>: message
    const auto tClose = line.find("><", 2);
    ASSERT_EQ(line.substr(0, 2), "<P");
    ASSERT_NE(tClose, std::string::npos);
    const std::string pid = line.substr(2, tClose - 2);
    EXPECT_TRUE(AllDigits(pid) && pid.size() >= 5) << line;
    const auto timeOpen = line.find("><", tClose + 2);
    ASSERT_NE(timeOpen, std::string::npos);
    const std::string tid = line.substr(tClose + 3, timeOpen - tClose - 3);
    EXPECT_TRUE(AllDigits(tid) && tid.size() >= 5) << line;
    int year, month, day, hour, minute, second, millisecond, consumed = 0;
    ASSERT_EQ(std::sscanf(line.c_str() + timeOpen + 2, "%4d-%2d-%2d %2d:%2d:%2d.%3d>%n", &year, &month, &day, &hour,
                          &minute, &second, &millisecond, &consumed),
              7)
        << line;
    EXPECT_EQ(line.substr(timeOpen + 2 + 10, 1), " ");
    EXPECT_EQ(consumed, 24) << "fixed-width time fields";
    const std::string rest = line.substr(timeOpen + 2 + consumed);
    char expected[160];
    std::snprintf(expected, sizeof(expected), "(Utils::Test::Prefix)<%04d>: value=42 text=%s 100%%\r", sourceLine,
                  "\xE5\xAE\x89\xE8\xA3\x85");
    EXPECT_EQ(rest, expected);
}

TEST_F(DebugLogTest, MessageWithoutLineEndRunsOn) {
    LOG(L"Utils::Test::RunOn", L"GetConnectivity %d", 0);
    LOG(L"Utils::Test::Next", L"x\r\n");
    const auto lines = LinesContaining("Utils::Test::RunOn");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("GetConnectivity 0<P"), std::string::npos) << lines[0];
}

TEST_F(DebugLogTest, WidthsAreMinimums) {
    Utils::DebugLog(L"<T%05d>(%s)<%04d>: %S\n", 42, L"Utils::Test::Widths", 7, "narrow");
    Utils::DebugLog(L"<P%05d>(%s)\n", 123456, L"Utils::Test::Wide");
    EXPECT_EQ(LinesContaining("Utils::Test::Widths").at(0), "<T00042>(Utils::Test::Widths)<0007>: narrow");
    EXPECT_EQ(LinesContaining("Utils::Test::Wide").at(0), "<P123456>(Utils::Test::Wide)");
}

TEST_F(DebugLogTest, LongLinesFromManyThreadsNeverInterleave) {
    const std::wstring filler(6000, L'x');  // longer than an atomic pipe write
    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) LOG(L"Utils::Test::Threads", L"%d:%s:end\r\n", t, filler.c_str());
        });
    for (auto& writer : writers) writer.join();
    const auto lines = LinesContaining("Utils::Test::Threads");
    ASSERT_EQ(lines.size(), 400u);
    for (const auto& line : lines) {
        const auto body = line.find(">: ");
        ASSERT_NE(body, std::string::npos);
        EXPECT_EQ(line.size(), body + 3 + 2 + 6000 + 5) << "a line was split or merged";
        EXPECT_EQ(line.substr(line.size() - 5), ":end\r");
    }
}
