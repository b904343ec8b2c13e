#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "support/debug_log.h"
#include "test_support.h"

namespace {

std::string LogFile() { return TestSupport::CapturedLogFile(); }

std::vector<std::string> LinesContaining(const std::string& marker) {
    std::istringstream all(TestSupport::ReadFile(LogFile()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(all, line);)
        if (line.find(marker) != std::string::npos) lines.push_back(line);
    return lines;
}

}  // namespace

TEST(DebugLog, LineHasTheExactPrefix) {
    LogFile();
    const int sourceLine = __LINE__ + 1;
    LOG(L"Utils::Test::Prefix", L"value=%d text=%s 100%%\r\n", 42, L"\u5B89\u88C5");
    const auto lines = LinesContaining("Utils::Test::Prefix");
    ASSERT_EQ(lines.size(), 1u);
    const std::regex prefix(
        R"(^<P\d{5,}><T\d{5,}><\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}>\(Utils::Test::Prefix\)<(\d{4,})>: )"
        "value=42 text=\xE5\xAE\x89\xE8\xA3\x85 100%\r$");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, prefix)) << lines[0];
    EXPECT_EQ(std::stoi(match[1]), sourceLine);
}

TEST(DebugLog, MessageWithoutLineEndRunsOn) {
    LogFile();
    LOG(L"Utils::Test::RunOn", L"GetConnectivity %d", 0);
    LOG(L"Utils::Test::Next", L"x\r\n");
    const auto lines = LinesContaining("Utils::Test::RunOn");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("GetConnectivity 0<P"), std::string::npos) << lines[0];
}

TEST(DebugLog, WidthsAreMinimums) {
    LogFile();
    Utils::DebugLog(L"<T%05d>(%s)<%04d>: %S\n", 42, L"Utils::Test::Widths", 7, "narrow");
    Utils::DebugLog(L"<P%05d>(%s)\n", 123456, L"Utils::Test::Wide");
    EXPECT_EQ(LinesContaining("Utils::Test::Widths").at(0), "<T00042>(Utils::Test::Widths)<0007>: narrow");
    EXPECT_EQ(LinesContaining("Utils::Test::Wide").at(0), "<P123456>(Utils::Test::Wide)");
}

TEST(DebugLog, LongLinesFromManyThreadsNeverInterleave) {
    LogFile();
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
