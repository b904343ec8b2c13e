// parlumo-fetch as a maker runs it: a real process against a host on 127.0.0.1.

#include <gtest/gtest.h>

#include <sstream>

#include "fault_server.h"
#include "support/child_process.h"
#include "test_support.h"

namespace {

struct FetchResult {
    unsigned long exitCode;
    std::vector<std::string> lines;
};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

FetchResult Fetch(const std::vector<std::string>& arguments) {
    std::wstring commandLine = L"\"" + Wide(PARLUMO_FETCH_PATH) + L"\"";
    for (const auto& argument : arguments) {
        commandLine += L" \"" + Wide(argument) + L"\"";
    }
    Utils::ChildProcess child;
    child.CreatePipes();
    child.Start(commandLine);
    std::string output;
    for (std::string chunk = child.ReadChunk(); !chunk.empty(); chunk = child.ReadChunk()) {
        output += chunk;
    }
    child.Wait();
    FetchResult result{child.GetExitCode(), {}};
    std::istringstream stream(output);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.rfind("1002\t", 0) != 0) {
            result.lines.push_back(line);
        }
    }
    return result;
}

TEST(FetchTest, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"http://127.0.0.1:9/a"},
        {"-downloadtype=x", "http://127.0.0.1:9/a", "out"},
        {"-downloadtype=", "http://127.0.0.1:9/a", "out"},
        {"-speed=3", "http://127.0.0.1:9/a", "out"},
        {"http://127.0.0.1:9/a", "out", "extra"},
    };
    for (const auto& arguments : cases) {
        const FetchResult result = Fetch(arguments);
        EXPECT_EQ(result.exitCode, 2u) << arguments.size() << " arguments";
        EXPECT_TRUE(result.lines.empty());
    }
}

// Each download method prints its events and answers a restart request as the installer does.
TEST(FetchTest, PrintsEventsRestartsOnceAndExitsByTheOutcome) {
    FaultServer server(FaultServer::MakeBody(3 * 1048576 + 11));
    const struct {
        const char* type;
        std::string url;
        std::vector<std::string> lines;
        unsigned long exitCode;
    } cases[] = {
        {"-downloadtype=1", server.DigestUrl(), {"1001\t1\t", "1003\t0\tLibCurl"}, 0},
        {"-downloadtype=3", server.DigestUrl(), {"1001\t1\t", "1003\t0\tLibCurl"}, 0},
        {"-downloadtype=1",
         server.WrongDigestUrl(),
         {"1001\t1\t", "1006\t0\tcurl文件md5校验失败", "1005\t0\tLibCurl", "1001\t1\t",
          "1006\t0\tcurl文件md5校验失败", "1004\t0\tLibCurl"},
         1},
        {"-downloadtype=3",
         server.WrongDigestUrl(),
         {"1001\t1\t", "1006\t0\tmtcurl文件md5校验失败", "1005\t0\tLibCurl", "1001\t1\t",
          "1006\t0\tmtcurl文件md5校验失败", "1004\t0\tLibCurl"},
         1},
        {"-downloadtype=3", server.StatusUrl(404), {"1001\t1\t", "1004\t0\tLibCurl"}, 1},
#if defined(PARLUMO_FETCH_WIN_HTTP)
        {"-downloadtype=2", server.DigestUrl(), {"1001\t1\t", "1003\t0\tWinHttp"}, 0},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.url);
        const std::string destination = TestSupport::MakeFolder("fetch") + "/package.exe";
        const FetchResult result = Fetch({c.type, c.url, destination});
        EXPECT_EQ(result.lines, c.lines);
        EXPECT_EQ(result.exitCode, c.exitCode);
        if (c.exitCode == 0) {
            EXPECT_TRUE(TestSupport::ReadFile(destination) == server.Body());
        }
    }
}

}  // namespace
