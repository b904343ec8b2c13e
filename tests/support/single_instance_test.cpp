#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/named_lock.h"
#include "support/single_instance.h"
#include "test_support.h"

TEST(SingleInstance, MutexNameIsThePrefixAndTheName) {
    Utils::SingleInstance guard(Utils::kInstallerInstanceName);
    EXPECT_EQ(guard.MutexName(), L"D1A547DB89C0BC61_Installer_parlumo");
}

// The holder program takes the guard like the entry; a second start of it must end at once
// with the exit code of a second instance, and a start after the first ended runs normally.
TEST(SingleInstance, SecondProcessEndsWithMinusOneAndALaterOneRuns) {
    const std::string holder = TestSupport::HelperPath("single_instance_holder");
    FILE* first = popen((holder + " ").c_str(), "w");
    ASSERT_NE(first, nullptr);
    // Wait until the first copy holds the guard (its lock file is locked).
    ASSERT_TRUE(TestSupport::WaitUntil([&] {
        Platform::NamedLock probe;
        return !probe.TryAcquire(L"D1A547DB89C0BC61_Installer_parlumo");
    })) << "the first holder never took the guard";
    const int second = std::system((holder + " </dev/null >/dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(second), 255) << "exit code -1 for a second instance";
    EXPECT_EQ(WEXITSTATUS(pclose(first)), 0);
    const int later = std::system((holder + " </dev/null >/dev/null").c_str());
    EXPECT_EQ(WEXITSTATUS(later), 0);
}

TEST(SingleInstance, AnotherSessionHasItsOwnGuard) {
    Utils::SingleInstance mine(Utils::kInstallerInstanceName);
    mine.Acquire();
    ASSERT_TRUE(mine.Held());
    mine.Acquire();  // a second acquire while held changes nothing
    EXPECT_TRUE(mine.Held());
    // Another user's session has another runtime folder, so another lock file.
    const std::string other = TestSupport::MakeFolder("other-session-run");
    const std::string saved = std::getenv("XDG_RUNTIME_DIR");
    setenv("XDG_RUNTIME_DIR", other.c_str(), 1);
    Utils::SingleInstance theirs(Utils::kInstallerInstanceName);
    theirs.Acquire();
    EXPECT_TRUE(theirs.Held());
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    mine.Release();
    EXPECT_FALSE(mine.Held());
}
