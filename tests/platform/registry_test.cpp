#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/text_encoding.h"
#include "test_support.h"

namespace {

constexpr wchar_t kKey[] = L"Software\\VarenSoft\\parlumo";

std::string StorePath() { return Platform::WideToActive(Platform::RegistryStorePath()); }

// Every test starts from no store at all.
class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override { Platform::RemoveFile(Platform::RegistryStorePath()); }
};

}  // namespace

TEST_F(RegistryStore, LivesUnderTheUsersConfigFolder) {
    EXPECT_EQ(StorePath(), TestSupport::PrivateFolder() + "/home/.config/parlumo/registry.ini");
}

TEST_F(RegistryStore, ValuesReadBackWhateverTheyHold) {
    EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"InstallPath"), std::nullopt);
    const std::wstring values[] = {
        L"/home/user/.local/opt/parlumo",
        L"",
        L"  blanks around  ",
        LR"(C:\Program Files (x86)\parlumo\uninst.exe)",
        L"line one\nline two\r\nthree",
        L"tab\tand \\n literally",
        L"=[value];#",
        L"\"quoted\"",
        std::wstring(L"nul\0inside", 10),
        L"\u4E2D\u6587\u8DEF\u5F84",
        std::wstring(5000, L'x'),  // no buffer limit: the store is not the INI API
    };
    for (const std::wstring& value : values) {
        ASSERT_TRUE(Platform::WriteRegistryValue(kKey, L"InstallPath", value));
        EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"InstallPath"), value);
    }
    // Names with the characters the file format uses.
    const std::wstring names[] = {L"a=b", L"[x]", L";comment", L"back\\slash", L"", L"new\nline"};
    for (const std::wstring& name : names) {
        ASSERT_TRUE(Platform::WriteRegistryValue(kKey, name, L"named " + name));
    }
    for (const std::wstring& name : names) EXPECT_EQ(Platform::ReadRegistryValue(kKey, name), L"named " + name);
    // Key paths with the same characters stay apart from each other.
    ASSERT_TRUE(Platform::WriteRegistryValue(L"Software\\A]B", L"v", L"1"));
    ASSERT_TRUE(Platform::WriteRegistryValue(L"Software\\A", L"v", L"2"));
    EXPECT_EQ(Platform::ReadRegistryValue(L"Software\\A]B", L"v"), L"1");
    EXPECT_EQ(Platform::ReadRegistryValue(L"Software\\A", L"v"), L"2");
}

TEST_F(RegistryStore, NamesIgnoreLetterCaseAndKeysStayApart) {
    ASSERT_TRUE(Platform::WriteRegistryValue(kKey, L"InstallPath", L"/opt/a"));
    ASSERT_TRUE(Platform::WriteRegistryValue(kKey, L"UnInstallEp", L"/opt/a/uninst"));
    ASSERT_TRUE(Platform::WriteRegistryValue(L"Software\\Other", L"InstallPath", L"/other"));
    EXPECT_EQ(Platform::ReadRegistryValue(L"SOFTWARE\\varensoft\\PARLUMO", L"installpath"), L"/opt/a");
    ASSERT_TRUE(Platform::WriteRegistryValue(L"software\\VARENSOFT\\parlumo", L"INSTALLPATH", L"/opt/b"));
    EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"InstallPath"), L"/opt/b");
    EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"UnInstallEp"), L"/opt/a/uninst");
    EXPECT_EQ(Platform::ReadRegistryValue(L"Software\\Other", L"InstallPath"), L"/other");
    EXPECT_EQ(Platform::ReadRegistryValue(L"Software\\VarenSoft", L"InstallPath"), std::nullopt);
}

TEST_F(RegistryStore, DeletingRemovesOnlyThatValue) {
    EXPECT_TRUE(Platform::DeleteRegistryValue(kKey, L"InstallPath"));  // nothing there yet
    EXPECT_FALSE(TestSupport::FileExists(StorePath())) << "deleting must not create the store";
    ASSERT_TRUE(Platform::WriteRegistryValue(kKey, L"InstallPath", L"/opt/a"));
    ASSERT_TRUE(Platform::WriteRegistryValue(kKey, L"UnInstallEp", L"/opt/a/uninst"));
    EXPECT_TRUE(Platform::DeleteRegistryValue(kKey, L"installpath"));
    EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"InstallPath"), std::nullopt);
    EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"UnInstallEp"), L"/opt/a/uninst");
    EXPECT_TRUE(Platform::DeleteRegistryValue(kKey, L"InstallPath"));
}

// A store edited by hand or cut short: the last line has no line end, lines use CR LF,
// and lines the store does not know survive a write.
TEST_F(RegistryStore, ReadsHandWrittenStoresAndKeepsWhatItDoesNotKnow) {
    ASSERT_TRUE(Platform::WriteRegistryValue(kKey, L"Seed", L"1"));  // creates the folder
    TestSupport::WriteFile(StorePath(),
                           "; kept comment\r\n"
                           "[Software\\\\VarenSoft\\\\parlumo]\r\n"
                           "free text line\r\n"
                           "UnInstallEp=/opt/p/uninst\r\n"
                           "InstallPath=/opt/p with no line end");
    EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"InstallPath"), L"/opt/p with no line end");
    EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"UnInstallEp"), L"/opt/p/uninst");
    ASSERT_TRUE(Platform::WriteRegistryValue(kKey, L"InstallPath", L"/opt/q"));
    const std::string rewritten = TestSupport::ReadFile(StorePath());
    EXPECT_NE(rewritten.find("; kept comment"), std::string::npos) << rewritten;
    EXPECT_NE(rewritten.find("free text line"), std::string::npos) << rewritten;
    EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"UnInstallEp"), L"/opt/p/uninst");
    EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"InstallPath"), L"/opt/q");

    // Bytes that are not UTF-8 read as replacement characters, never as a failure.
    TestSupport::WriteFile(StorePath(), "[Software\\\\VarenSoft\\\\parlumo]\nInstallPath=/opt/\xFF\xFE\n");
    EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"InstallPath"), L"/opt/\uFFFD\uFFFD");
}

TEST_F(RegistryStore, UnwritableStoreReportsFailure) {
    // A config folder that cannot exist: its parent is a plain file.
    const std::string blocker = TestSupport::MakeFolder("blocked") + "/file";
    TestSupport::WriteFile(blocker, "x");
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", (blocker + "/config").c_str(), 1);
    EXPECT_FALSE(Platform::WriteRegistryValue(kKey, L"InstallPath", L"/opt/b"));
    EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"InstallPath"), std::nullopt);
    EXPECT_TRUE(Platform::DeleteRegistryValue(kKey, L"InstallPath"));  // nothing there to delete
    setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);

    // A store that is there but cannot be replaced keeps its values.
    ASSERT_TRUE(Platform::WriteRegistryValue(kKey, L"InstallPath", L"/opt/a"));
    const std::string folder = Platform::WideToActive(Platform::DirectoryOf(Platform::RegistryStorePath()));
    ASSERT_EQ(std::system(("chmod 500 '" + folder + "'").c_str()), 0);
    const bool permissionsCount = std::system(("test -w '" + folder + "'").c_str()) != 0;
    if (permissionsCount) {
        EXPECT_FALSE(Platform::WriteRegistryValue(kKey, L"InstallPath", L"/opt/b"));
    }
    EXPECT_EQ(std::system(("chmod 700 '" + folder + "'").c_str()), 0);
    EXPECT_EQ(Platform::ReadRegistryValue(kKey, L"InstallPath"), L"/opt/a");
}

// Writers in two threads and two processes at once: the advisory lock around each
// read-modify-write means no value is lost.
TEST_F(RegistryStore, ConcurrentWritersLoseNothing) {
    constexpr int kValuesEach = 40;
    std::vector<std::thread> threads;
    for (const wchar_t* prefix : {L"threadA", L"threadB"}) {
        threads.emplace_back([prefix] {
            for (int n = 0; n < kValuesEach; ++n) {
                const std::wstring name = prefix + std::to_wstring(n);
                EXPECT_TRUE(Platform::WriteRegistryValue(kKey, name, L"value of " + name));
            }
        });
    }
    const std::string writer = TestSupport::HelperPath("registry_writer");
    const std::string both = writer + " processA " + std::to_string(kValuesEach) + " & " + writer +
                             " processB " + std::to_string(kValuesEach) + " & wait %1 && wait %2";
    EXPECT_EQ(std::system(("sh -c '" + both + "'").c_str()), 0) << both;
    for (std::thread& thread : threads) thread.join();
    for (const wchar_t* prefix : {L"threadA", L"threadB", L"processA", L"processB"}) {
        for (int n = 0; n < kValuesEach; ++n) {
            const std::wstring name = prefix + std::to_wstring(n);
            EXPECT_EQ(Platform::ReadRegistryValue(kKey, name), L"value of " + name);
        }
    }
}
