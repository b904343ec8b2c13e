#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/text_encoding.h"
#include "support/debug_log.h"
#include "support/thread.h"
#include "test_support.h"

namespace {

// The pattern every owner follows when it (re)starts its work.
struct Owner {
    std::unique_ptr<Utils::Thread> worker;
    std::atomic<int> runs{0};
    std::string seenName;

    void Restart() {
        worker.reset();
        worker = std::make_unique<Utils::Thread>(this, L"ABDEF", [](void* context) {
            auto* self = static_cast<Owner*>(context);
            char name[32] = {};
            pthread_getname_np(pthread_self(), name, sizeof(name));
            self->seenName = name;
            ++self->runs;
        });
        worker->Resume();
    }
};

}  // namespace

TEST(WorkerThread, RunsOnlyAfterResumeWithContextAndName) {
    Owner owner;
    std::atomic<bool> ran{false};
    Utils::Thread thread(&owner, L"UnInstaller", [&](void* context) {
        EXPECT_EQ(context, &owner);
        ran = true;
    });
    EXPECT_TRUE(thread.IsValid());
    EXPECT_NE(thread.ThreadId(), 0xFFFFFFFFu);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // would run by now if not held
    EXPECT_FALSE(ran);
    thread.Resume();
    thread.Join();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(thread.IsValid());
    EXPECT_EQ(thread.ThreadId(), 0xFFFFFFFFu);
    thread.Join();  // a second join does nothing
}

TEST(WorkerThread, OwnerPatternJoinsTheOldWorkerAndNamesTheNew) {
    Owner owner;
    owner.Restart();
    owner.Restart();
    owner.worker.reset();
    EXPECT_EQ(owner.runs, 2);
    EXPECT_EQ(owner.seenName, "ABDEF");
}

TEST(WorkerThread, EmptyNameBecomesTAndTheId) {
    std::string seen;
    Utils::Thread thread(nullptr, L"", [&](void*) {
        char name[32] = {};
        pthread_getname_np(pthread_self(), name, sizeof(name));
        seen = name;
    });
    const std::wstring expected = L"t" + std::to_wstring(thread.ThreadId());
    EXPECT_EQ(thread.Name(), expected);
    thread.Resume();
    thread.Join();
    EXPECT_EQ(seen, Platform::WideToActive(expected).substr(0, 15));
}

TEST(WorkerThread, DestroyingAnUnresumedThreadDoesNotHangOrRunIt) {
    std::atomic<bool> ran{false};
    { Utils::Thread thread(nullptr, L"ABDEF", [&](void*) { ran = true; }); }
    EXPECT_FALSE(ran);
}

TEST(WorkerThread, DestroyWaitsForARunningPayload) {
    std::mutex mutex;
    std::condition_variable released;
    bool go = false;
    std::atomic<bool> finished{false};
    auto thread = std::make_unique<Utils::Thread>(nullptr, L"ABDEF", [&](void*) {
        std::unique_lock<std::mutex> lock(mutex);
        released.wait(lock, [&] { return go; });
        finished = true;
    });
    thread->Resume();
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::lock_guard<std::mutex> lock(mutex);
        go = true;
        released.notify_all();
    });
    thread.reset();
    EXPECT_TRUE(finished) << "the owner's teardown returned before the payload ended";
    releaser.join();
}

TEST(WorkerThread, BeginAndEndBracketThePayloadsLines) {
    const std::string file = TestSupport::CapturedLogFile();
    Utils::Thread thread(nullptr, L"ABDEF", [](void*) { LOG(L"Payload::Run", L"inside\r\n"); });
    char threadField[32];
    std::snprintf(threadField, sizeof(threadField), "<T%05u>", thread.ThreadId());
    thread.Resume();
    thread.Join();
    std::istringstream lines(TestSupport::ReadFile(file));
    std::string order;
    for (std::string line; std::getline(lines, line);) {
        if (line.find(threadField) == std::string::npos) continue;  // other tests' threads
        if (line.find("THREAD BEGIN") != std::string::npos) order += "B";
        if (line.find("(Payload::Run)") != std::string::npos) order += "P";
        if (line.find("THREAD END") != std::string::npos) order += "E";
    }
    EXPECT_EQ(order, "BPE");
}
