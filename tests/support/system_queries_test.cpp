// System queries against the real machine, inside this test process's private folder.

#include "support/system_queries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <set>
#include <string>

#include "support/child_process.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// A path of exactly `length` characters below `base`, in levels of at most 50 characters.
std::string PathOfLength(const std::string& base, std::size_t length) {
    std::string path = base;
    while (path.size() < length) {
        const std::size_t remaining = length - path.size();  // separator included
        // Never leave a single character for the next level, which needs a separator too.
        const std::size_t level = remaining <= 51 ? remaining - 1 : (remaining == 52 ? 49 : 50);
        path += '/' + std::string(level, 'd');
    }
    return path;
}

TEST(FindProcessByImageName, FindsARunningProgramByItsExactName) {
    // A copy of a helper under a name no other process carries.
    const std::string name = "ParlumoProbe." + fs::read_symlink("/proc/self").string() + ".exe";
    const std::string folder = TestSupport::MakeFolder("probe");
    fs::copy_file(TestSupport::HelperPath("child_reporter"), folder + "/" + name);
    const std::string marker = folder + "/go";

    EXPECT_EQ(Utils::FindProcessByImageName(Wide(name)), 0u);
    Utils::ChildProcess child;
    child.CreatePipes();
    child.Start(L"\"" + Wide(folder + "/" + name) + L"\" wait-file \"" + Wide(marker) + L"\"");
    EXPECT_EQ(child.ReadChunk(), "waiting");

    EXPECT_EQ(Utils::FindProcessByImageName(Wide(name)), child.ProcessId());
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::string differentNames[] = {lower, name.substr(0, name.size() - 4), name + "x",
                                          folder + "/" + name, "", ".exe"};
    for (const std::string& other : differentNames) {
        EXPECT_EQ(Utils::FindProcessByImageName(Wide(other)), 0u) << other;
    }

    TestSupport::WriteFile(marker, "");
    child.Wait();
    child.Close();
    EXPECT_EQ(Utils::FindProcessByImageName(Wide(name)), 0u);
}

TEST(GetInstallerTempDir, IsThePrivateFolderInTheTempFolderMadeOnce) {
    const std::string expected = TestSupport::PrivateFolder() + "/tmp/~VarenTemp.92482B06FB471E17/";
    const std::wstring first = Utils::GetInstallerTempDir();
    ASSERT_EQ(first, Wide(expected));
    ASSERT_TRUE(fs::is_directory(expected));
    EXPECT_EQ(fs::status(expected).permissions() & fs::perms::all, fs::perms::owner_all);

    TestSupport::WriteFile(expected + "parlumo_un_asa.exe", "copy");
    EXPECT_EQ(Utils::GetInstallerTempDir(), first);
    EXPECT_EQ(TestSupport::ReadFile(expected + "parlumo_un_asa.exe"), "copy");
}

// The temp folder may be shared with other users: only our own folder is taken.
TEST(GetInstallerTempDir, RefusesWhatIsNotTheUsersOwnFolder) {
    const char* saved = std::getenv("TMPDIR");
    const std::string savedTemp = saved ? saved : "";
    struct Restore {
        std::string value;
        ~Restore() { setenv("TMPDIR", value.c_str(), 1); }
    } restore{savedTemp};

    const std::string linkTemp = TestSupport::MakeFolder("link temp");
    const std::string elsewhere = TestSupport::MakeFolder("elsewhere");
    fs::create_directory_symlink(elsewhere, linkTemp + "/~VarenTemp.92482B06FB471E17");
    setenv("TMPDIR", linkTemp.c_str(), 1);
    EXPECT_EQ(Utils::GetInstallerTempDir(), L"");

    const std::string fileTemp = TestSupport::MakeFolder("file temp");
    TestSupport::WriteFile(fileTemp + "/~VarenTemp.92482B06FB471E17", "");
    setenv("TMPDIR", fileTemp.c_str(), 1);
    EXPECT_EQ(Utils::GetInstallerTempDir(), L"");

    // Left open to everyone by an earlier run of ours: closed again and used.
    const std::string openTemp = TestSupport::MakeFolder("open temp");
    fs::create_directory(openTemp + "/~VarenTemp.92482B06FB471E17");
    fs::permissions(openTemp + "/~VarenTemp.92482B06FB471E17", fs::perms::all);
    setenv("TMPDIR", openTemp.c_str(), 1);
    EXPECT_EQ(Utils::GetInstallerTempDir(), Wide(openTemp + "/~VarenTemp.92482B06FB471E17/"));
    EXPECT_EQ(fs::status(openTemp + "/~VarenTemp.92482B06FB471E17").permissions() & fs::perms::all,
              fs::perms::owner_all);

    setenv("TMPDIR", "/nonexistent-parlumo-temp", 1);
    EXPECT_EQ(Utils::GetInstallerTempDir(), L"");
}

TEST(GetInstallerTempDir, PathLongerThan259CharactersIsAFailure) {
    const char* saved = std::getenv("TMPDIR");
    const std::string savedTemp = saved ? saved : "";
    const std::string suffix = "/~VarenTemp.92482B06FB471E17/";
    const std::string base = TestSupport::MakeFolder("long temp");
    for (std::size_t total : {259u, 260u}) {
        const std::string temp = PathOfLength(base, total - suffix.size());
        fs::create_directories(temp);
        setenv("TMPDIR", temp.c_str(), 1);
        const std::wstring folder = Utils::GetInstallerTempDir();
        if (total == 259) {
            EXPECT_EQ(folder.size(), 259u);
        } else {
            EXPECT_EQ(folder, L"");
            EXPECT_FALSE(fs::exists(temp + suffix));
        }
    }
    setenv("TMPDIR", savedTemp.c_str(), 1);
}

TEST(CreateDirectories, CreatesEveryLevelOrNothing) {
    const std::string base = TestSupport::MakeFolder("levels");
    const std::string file = base + "/a file";
    TestSupport::WriteFile(file, "x");
    const struct {
        std::string path;
        bool created;
    } cases[] = {
        {base + "/one/two/three", true},
        {base + "/trailing/separator/", true},
        {base + "/double//separator", true},
        {base + "/one/two/three", true},  // exists already
        {base, true},
        {PathOfLength(base + "/exactly260", 260), true},
        {PathOfLength(base + "/exactly260slash", 259) + "/", true},
        {PathOfLength(base + "/toolong", 261), false},
        {file + "/below/a/file", false},
        {file, false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Utils::CreateDirectories(Wide(c.path)), c.created);
        EXPECT_EQ(fs::is_directory(c.path), c.created);
    }
    EXPECT_FALSE(fs::exists(base + "/toolong")) << "a refused path must leave nothing behind";
    EXPECT_FALSE(fs::exists(file + "/below"));
}

TEST(CheckNetwork, MonitorStatesMapToTheResultLayout) {
    using Platform::Connectivity;
    const struct {
        std::optional<Platform::NetworkState> state;
        std::uint32_t expected;
    } cases[] = {
        {std::nullopt, 0},  // no monitor: read as connected
        {Platform::NetworkState{Connectivity::Full, true}, 0x40},
        {Platform::NetworkState{Connectivity::Limited, true}, 0x20020},
        {Platform::NetworkState{Connectivity::Portal, true}, 0x20020},
        {Platform::NetworkState{Connectivity::Local, false}, 0x10000},
        {Platform::NetworkState{Connectivity::Local, true}, 0x20010},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utils::ConnectivityResult(c.state), c.expected);
        // Callers that need a yes or no read any value above 0xFFFF as "no internet".
        EXPECT_EQ(Utils::ConnectivityResult(c.state) > 0xFFFF,
                  c.state && c.state->connectivity != Connectivity::Full);
    }
}

TEST(CheckNetwork, AnswersWithOneOfTheMappedResults) {
    const std::set<std::uint32_t> possible = {0, 0x40, 0x20020, 0x20010, 0x10000};
    const std::uint32_t result = Utils::CheckNetwork();
    EXPECT_TRUE(possible.count(result)) << std::hex << result;
    const std::string log = TestSupport::ReadFile(TestSupport::CapturedLogFile());
    if (result == 0x10000) {
        EXPECT_NE(log.find("(Utils::CheckNetwork)"), std::string::npos);
        EXPECT_NE(log.find("GetConnectivity 0"), std::string::npos);
    }
    if (result >> 16 == 2) {
        EXPECT_NE(log.find("get_IsConnectedToInternet:0"), std::string::npos);
    }
}

TEST(NewGuidString, Is32HexDigitsWithALowerCaseVersion4ThirdGroup) {
    std::set<std::wstring> seen;
    for (int i = 0; i < 2000; ++i) {
        const std::wstring guid = Utils::NewGuidString();
        ASSERT_EQ(guid.size(), 32u) << i;
        for (std::size_t at = 0; at < guid.size(); ++at) {
            const wchar_t c = guid[at];
            const bool third = at >= 12 && at < 16;
            const bool digit = c >= L'0' && c <= L'9';
            const bool letter = third ? (c >= L'a' && c <= L'f') : (c >= L'A' && c <= L'F');
            ASSERT_TRUE(digit || letter) << "character " << at << " of " << std::string(guid.begin(), guid.end());
        }
        EXPECT_EQ(guid[12], L'4');
        EXPECT_NE(std::wstring(L"89AB").find(guid[16]), std::wstring::npos);
        seen.insert(guid);
    }
    EXPECT_EQ(seen.size(), 2000u);
}

TEST(HardDiskManager, FolderThatDoesNotExistYetIsAskedThroughItsAncestor) {
    const std::string base = TestSupport::MakeFolder("disk");
    Utils::HardDiskManager existing;
    ASSERT_TRUE(existing.CheckFreeSpace(Wide(base)));
    EXPECT_GT(existing.totalBytes, 0u);
    EXPECT_LE(existing.freeBytesAvailable, existing.totalFreeBytes);
    EXPECT_LE(existing.totalFreeBytes, existing.totalBytes);

    Utils::HardDiskManager missing;
    ASSERT_TRUE(missing.CheckFreeSpace(Wide(base + "/not/yet/made/")));
    EXPECT_EQ(missing.totalBytes, existing.totalBytes);
    EXPECT_FALSE(fs::exists(base + "/not"));
}

TEST(HardDiskManager, FailureLogsTheErrorCodeAndKeepsTheCounts) {
    const std::string base = TestSupport::MakeFolder("disk failure");
    TestSupport::WriteFile(base + "/file", "x");
    const struct {
        std::string path;
        const char* line;
    } cases[] = {
        {base + "/file/below", "HardDiskManager::CheckFreeSpace FAIL code=20\r\n"},  // ENOTDIR
        {"", "HardDiskManager::CheckFreeSpace FAIL code=2\r\n"},                     // ENOENT
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::size_t before = CountOf(TestSupport::ReadFile(TestSupport::CapturedLogFile()), c.line);
        Utils::HardDiskManager disk;
        disk.freeBytesAvailable = 7;
        disk.totalBytes = 8;
        disk.totalFreeBytes = 9;
        EXPECT_FALSE(disk.CheckFreeSpace(Wide(c.path)));
        EXPECT_EQ(disk.freeBytesAvailable, 7u);
        EXPECT_EQ(disk.totalBytes, 8u);
        EXPECT_EQ(disk.totalFreeBytes, 9u);
        const std::string log = TestSupport::ReadFile(TestSupport::CapturedLogFile());
        EXPECT_EQ(CountOf(log, c.line), before + 1);
        EXPECT_NE(log.find("(Utils::HardDiskManager::CheckFreeSpace)"), std::string::npos);
    }
}

TEST(AdministratorQueries, AnswerFromTheAccountDatabase) {
    EXPECT_TRUE(Utils::IsAdminAccount(L"root"));
    EXPECT_FALSE(Utils::IsAdminAccount(L""));
    EXPECT_FALSE(Utils::IsAdminAccount(L"no-such-account-parlumo"));

    // The effective uid as the kernel reports it: the second number of "Uid:".
    const std::string status = TestSupport::ReadFile("/proc/self/status");
    const std::size_t uidLine = status.find("\nUid:");
    ASSERT_NE(uidLine, std::string::npos);
    unsigned real = 0;
    unsigned effective = 1;
    ASSERT_EQ(std::sscanf(status.c_str() + uidLine + 5, "%u %u", &real, &effective), 2);
    EXPECT_EQ(Utils::IsRunningAsAdmin(), effective == 0);
}

TEST(ConsoleUser, SeatFileNamesTheActiveUid) {
    const struct {
        std::string text;
        std::optional<std::uint32_t> uid;
    } cases[] = {
        {"# This is private data. Do not parse.\nIS_SEAT0=1\nACTIVE=c2\nACTIVE_UID=1000\nSESSIONS=c2\n", 1000},
        {"ACTIVE_UID=0", 0},
        {"IS_SEAT0=1\nCAN_GRAPHICAL=1\n", std::nullopt},
        {"ACTIVE_UID=\n", std::nullopt},
        {"ACTIVE_UID=12x\n", std::nullopt},
        {"ACTIVE_UID=4294967295\n", std::nullopt},
        {"ACTIVE_UID=99999999999999\n", std::nullopt},
        {"XACTIVE_UID=5\n", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Platform::ActiveUidFromSeatFile(c.text), c.uid);
    }
}

TEST(ConsoleUser, FailureLeavesTheOutputUntouched) {
    std::wstring name = L"untouched";
    if (Utils::GetActiveConsoleUserName(name)) {
        EXPECT_FALSE(name.empty());
        EXPECT_NE(name, L"untouched");
    } else {
        EXPECT_EQ(name, L"untouched");
    }
}

}  // namespace
