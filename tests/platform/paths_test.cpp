#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/text_encoding.h"
#include "test_support.h"

TEST(Paths, JoinAndSplit) {
    EXPECT_EQ(Platform::JoinPath(L"/a", L"b"), L"/a/b");
    EXPECT_EQ(Platform::JoinPath(L"/a/", L"b"), L"/a/b");
    EXPECT_EQ(Platform::JoinPath(L"", L"b"), L"b");
    EXPECT_EQ(Platform::DirectoryOf(L"/a/b/c.txt"), L"/a/b");
    EXPECT_EQ(Platform::DirectoryOf(L"/c.txt"), L"/");
    EXPECT_EQ(Platform::DirectoryOf(L"c.txt"), L"");
    EXPECT_EQ(Platform::FileNameOf(L"/a/b/c.txt"), L"c.txt");
    EXPECT_EQ(Platform::FileNameOf(L"/a/b/"), L"");
}

TEST(Paths, SamePathAfterNormalisation) {
    EXPECT_TRUE(Platform::IsSamePath(L"/opt/parlumo/", L"/opt/./x/../parlumo"));
    EXPECT_FALSE(Platform::IsSamePath(L"/opt/Parlumo", L"/opt/parlumo"));  // letter case counts
    EXPECT_EQ(Platform::NormalizePath(L"/../.."), L"/");
}

TEST(Paths, AtomicWriteKeepsModeAndLeavesNoTemporaryFiles) {
    const std::string folder = TestSupport::MakeFolder("atomic");
    const std::wstring file = Platform::ActiveToWide(folder) + L"/data.ini";
    ASSERT_TRUE(Platform::WriteFileAtomically(file, "one"));
    ASSERT_TRUE(Platform::MakeExecutable(file));
    ASSERT_TRUE(Platform::WriteFileAtomically(file, "two"));
    EXPECT_EQ(TestSupport::ReadFile(folder + "/data.ini"), "two");
    const std::wstring copy = Platform::ActiveToWide(folder) + L"/copy";
    ASSERT_TRUE(Platform::CopyFile(file, copy));
    EXPECT_EQ(TestSupport::ReadFile(folder + "/copy"), "two");
    EXPECT_EQ(system(("test -x " + folder + "/copy").c_str()), 0) << "mode bits are kept";
    EXPECT_EQ(system(("test $(ls " + folder + " | wc -l) -eq 2").c_str()), 0) << "temporary files left";
    EXPECT_FALSE(Platform::WriteFileAtomically(Platform::ActiveToWide(folder) + L"/missing/x", "x"));
}

TEST(Paths, ShellFoldersFollowTheEnvironment) {
    const std::wstring home = Platform::ActiveToWide(TestSupport::PrivateFolder()) + L"/home";
    EXPECT_EQ(Platform::HomeFolder(), home);
    EXPECT_EQ(Platform::GetShellFolder(Platform::ShellFolder::AppData),
              Platform::ActiveToWide(TestSupport::PrivateFolder()) + L"/appdata");
    EXPECT_EQ(Platform::GetShellFolder(Platform::ShellFolder::ConfigHome), home + L"/.config");
    const std::wstring temp = Platform::TempFolder();
    EXPECT_EQ(temp.back(), L'/');
}
