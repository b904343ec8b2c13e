// The hidden child with captured output: real children (tests/helpers/child_reporter)
// writing exactly what each case needs, read through the installer's own pipes.

#include "support/child_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <set>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/text_encoding.h"
#include "support/exception.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Utils::ChildProcess;

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring Quoted(const std::string& path) { return L"\"" + Wide(path) + L"\""; }

std::wstring Reporter(const std::string& arguments) {
    return Quoted(TestSupport::HelperPath("child_reporter")) + L" " + Wide(arguments);
}

// Runs `work` on its own thread and gives up the whole test process with a message when it
// has not ended within a generous limit: a blocked pipe must fail the test, not hang it.
template <typename Work>
auto WithinLimit(const char* what, Work work) {
    auto result = std::async(std::launch::async, work);
    if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        std::fprintf(stderr, "%s did not end within 60 s\n", what);
        std::fflush(stderr);
        std::_Exit(1);
    }
    return result.get();
}

// Every chunk the child writes until its output ends, then waits for its end.
std::vector<std::string> ReadAllChunks(ChildProcess& child) {
    return WithinLimit("reading the child's output", [&child] {
        std::vector<std::string> chunks;
        for (std::string chunk = child.ReadChunk(); !chunk.empty(); chunk = child.ReadChunk()) {
            chunks.push_back(chunk);
        }
        child.Wait();
        return chunks;
    });
}

std::string Joined(const std::vector<std::string>& chunks) {
    std::string all;
    for (const std::string& chunk : chunks) all += chunk;
    return all;
}

std::size_t OpenDescriptorCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

// Processes whose parent is this test process (running or zombies).
std::vector<std::string> OwnChildren() {
    const std::string self = fs::read_symlink("/proc/self").string();
    std::vector<std::string> children;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string stat = TestSupport::ReadFile(entry.path().string() + "/stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        // After "pid (name) " come the state and the parent id.
        char state = 0;
        int parent = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2 && std::to_string(parent) == self) {
            children.push_back(entry.path().filename().string() + " " + state);
        }
    }
    return children;
}

std::set<std::string> PipesHeldHere() {
    std::set<std::string> pipes;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = fs::read_symlink(entry.path(), error).string();
        if (target.rfind("pipe:", 0) == 0) pipes.insert(target);
    }
    return pipes;
}

TEST(ChildProcess, ChildThatWritesNothingGivesNoChunkAndAnEnd) {
    ChildProcess child;
    child.CreatePipes();
    child.Start(Reporter("silent"));
    EXPECT_NE(child.ProcessId(), 0u);
    EXPECT_TRUE(ReadAllChunks(child).empty());
    EXPECT_FALSE(child.IsRunning());
    EXPECT_EQ(child.GetExitCode(), 0u);
    EXPECT_TRUE(child.ReadChunk().empty());
    child.Close();
    EXPECT_TRUE(OwnChildren().empty());
}

// A burst is cut into chunks of at most 1024 bytes, and a chunk holds exactly what was read.
TEST(ChildProcess, BurstArrivesInChunksOfAtMost1024Bytes) {
    const struct {
        int count;
        std::vector<std::size_t> sizes;
    } cases[] = {
        {1024, {1024}},
        {1023, {1023}},
        {1500, {1024, 476}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        ChildProcess child;
        child.CreatePipes();
        child.Start(Reporter("burst " + std::to_string(c.count)));
        const std::vector<std::string> chunks = ReadAllChunks(child);
        std::vector<std::size_t> sizes;
        for (const std::string& chunk : chunks) sizes.push_back(chunk.size());
        EXPECT_EQ(sizes, c.sizes);
        std::string expected;
        for (int i = 0; i < c.count; ++i) expected.push_back(static_cast<char>('0' + i % 10));
        EXPECT_EQ(Joined(chunks), expected);
        ASSERT_FALSE(chunks.empty());
        EXPECT_EQ(ChildProcess::DecodeChunk(chunks.front(), 65001), Wide(expected.substr(0, chunks.front().size())));
    }
}

TEST(ChildProcess, ZeroByteEndsTheDecodedChunk) {
    ChildProcess child;
    child.CreatePipes();
    child.Start(Reporter("hex 5374617465003d4661696c0a"));  // "State\0=Fail\n"
    const std::vector<std::string> chunks = ReadAllChunks(child);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].size(), 12u);
    EXPECT_EQ(ChildProcess::DecodeChunk(chunks[0], 65001), L"State");
}

TEST(ChildProcess, ChildFloodingStandardErrorNeverBlocks) {
    ChildProcess child;
    child.CreatePipes();
    child.Start(Reporter("flood-stderr 16"));
    EXPECT_EQ(Joined(ReadAllChunks(child)), "done");
    EXPECT_EQ(child.GetExitCode(), 0u);
}

TEST(ChildProcess, EndComesFromTheChildsRealEnd) {
    const std::string marker = TestSupport::MakeFolder("end") + "/go";
    ChildProcess child;
    child.CreatePipes();
    child.Start(Reporter("wait-file " + marker));
    EXPECT_EQ(WithinLimit("first chunk", [&] { return child.ReadChunk(); }), "waiting");
    EXPECT_TRUE(child.IsRunning());
    EXPECT_EQ(child.GetExitCode(), ChildProcess::kStillActive);
    TestSupport::WriteFile(marker, "");
    EXPECT_TRUE(ReadAllChunks(child).empty());
    EXPECT_FALSE(child.IsRunning());
    EXPECT_EQ(child.GetExitCode(), 0u);
}

TEST(ChildProcess, ExitStatusIsReportedOnceEnded) {
    // 259 does not fit an exit status here; the low byte (3) arrives, never "still active".
    // A crash is an ordinary end too: 128 + the signal (SIGABRT is 6).
    const struct { const char* mode; unsigned long expected; } cases[] = {
        {"exit 0", 0}, {"exit 3", 3}, {"exit 255", 255}, {"exit 259", 3}, {"abort", 134},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ChildProcess child;
        child.CreatePipes();
        child.Start(Reporter(c.mode));
        WithinLimit("waiting for the child", [&] { child.Wait(); return 0; });
        EXPECT_FALSE(child.IsRunning());
        EXPECT_EQ(child.GetExitCode(), c.expected);
    }
}

TEST(ChildProcess, ProgramThatCannotStartThrowsAndLeaksNothing) {
    const std::string folder = TestSupport::MakeFolder("unstartable");
    const std::string plainFile = folder + "/not executable";
    TestSupport::WriteFile(plainFile, "#!/bin/sh\necho hello\n");
    const std::wstring cases[] = {
        L"\"" + Wide(folder) + L"/missing program\" -x",
        Quoted(plainFile),
        Quoted(folder),
        L"",
        L"   ",
        L"\"\" arg",
    };
    const std::size_t descriptorsBefore = OpenDescriptorCount();
    for (const std::wstring& commandLine : cases) {
        SCOPED_TRACE(std::string(commandLine.begin(), commandLine.end()));
        auto child = std::make_unique<ChildProcess>();
        child->CreatePipes();
        EXPECT_THROW(child->Start(commandLine), Utils::Exception);
        EXPECT_EQ(child->ProcessId(), 0u);
        EXPECT_FALSE(child->IsRunning());
        child->Close();
        child.reset();
        EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
        EXPECT_TRUE(OwnChildren().empty());
    }
}

TEST(ChildProcess, StartOutOfOrderThrows) {
    ChildProcess withoutPipes;
    EXPECT_EQ(withoutPipes.GetExitCode(), 0u);
    EXPECT_FALSE(withoutPipes.IsRunning());
    EXPECT_TRUE(withoutPipes.ReadChunk().empty());
    withoutPipes.Wait();
    EXPECT_THROW(withoutPipes.Start(Reporter("silent")), Utils::Exception);

    ChildProcess twice;
    twice.CreatePipes();
    twice.Start(Reporter("silent"));
    EXPECT_THROW(twice.Start(Reporter("silent")), Utils::Exception);
    ReadAllChunks(twice);
    EXPECT_TRUE(OwnChildren().empty());
}

// The runners quote the program path; the line fills the buffer to its last character.
TEST(ChildProcess, CommandLineOf1023CharactersStartsAndLongerIsRefused) {
    const std::string folder = TestSupport::MakeFolder("path with spaces") + "/program folder";
    fs::create_directories(folder);
    const std::string program = folder + "/child reporter";
    fs::copy_file(TestSupport::HelperPath("child_reporter"), program);

    const std::wstring head = Quoted(program) + L" args first ";
    ASSERT_LT(head.size(), 1000u);
    const std::wstring filler(1023 - head.size(), L'x');
    const std::wstring fits = head + filler;
    ASSERT_EQ(fits.size(), 1023u);

    ChildProcess child;
    child.CreatePipes();
    child.Start(fits);
    EXPECT_EQ(child.CommandLine(), fits);
    EXPECT_EQ(Joined(ReadAllChunks(child)), "first\n" + std::string(filler.size(), 'x') + "\n");

    const std::size_t descriptorsBefore = OpenDescriptorCount();
    {
        ChildProcess tooLong;
        tooLong.CreatePipes();
        EXPECT_THROW(tooLong.Start(fits + L"y"), Utils::Exception);
        EXPECT_EQ(tooLong.ProcessId(), 0u);
        EXPECT_TRUE(tooLong.CommandLine().empty());
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
    EXPECT_TRUE(OwnChildren().empty());
}

// The child receives the arguments the Windows command-line rules give, in the active code
// page (UTF-8 here), from a program whose folder has blanks and Chinese characters.
TEST(ChildProcess, ArgumentsReachTheChildAsTheRunnerWroteThem) {
    const std::string folder = TestSupport::MakeFolder("arguments") + "/\xe5\xae\x89\xe8\xa3\x85 folder";
    fs::create_directories(folder);
    const std::string program = folder + "/reporter";
    fs::copy_file(TestSupport::HelperPath("child_reporter"), program);
    const struct {
        std::wstring tail;
        std::wstring lines;
    } cases[] = {
        {L" /S -console=show -version=1.0.0", L"/S\n-console=show\n-version=1.0.0\n"},
        {L" -installdir=\"/opt/\u4e2d\u6587 \u76ee\u5f55\" /S", L"-installdir=/opt/\u4e2d\u6587 \u76ee\u5f55\n/S\n"},
        {L" \"\" x", L"\nx\n"},
        {L" a\\\"b c\\\\\"d e\"", L"a\"b\nc\\d e\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Platform::WideToUtf8(c.tail));
        ChildProcess child;
        child.CreatePipes();
        child.Start(L"\"" + Platform::Utf8ToWide(program) + L"\" args" + c.tail);
        EXPECT_EQ(ChildProcess::DecodeChunk(Joined(ReadAllChunks(child)), 0), c.lines);
    }
}

// While one child runs, a second child holds none of the pipes the installer holds for the
// first (or for itself): each child sees only its own three standard streams.
TEST(ChildProcess, ChildrenNeverInheritEachOthersPipeEnds) {
    const std::string marker = TestSupport::MakeFolder("inherit") + "/go";
    // Whatever this test process itself inherited (from a shell or ctest) is not ours.
    const std::set<std::string> pipesBefore = PipesHeldHere();
    ChildProcess first;
    first.CreatePipes();
    first.Start(Reporter("wait-file " + marker));
    EXPECT_EQ(WithinLimit("first chunk", [&] { return first.ReadChunk(); }), "waiting");

    ChildProcess second;
    second.CreatePipes();
    const std::set<std::string> pipesHere = PipesHeldHere();
    second.Start(Reporter("descriptors"));
    const std::string listing = Joined(ReadAllChunks(second));
    ASSERT_FALSE(listing.empty());
    ASSERT_EQ(pipesHere.size(), pipesBefore.size() + 4) << "the two pipes of each child are held here";
    for (const std::string& pipe : pipesHere) {
        if (pipesBefore.count(pipe)) continue;
        EXPECT_EQ(listing.find(pipe), std::string::npos) << pipe << " leaked into:\n" << listing;
    }

    TestSupport::WriteFile(marker, "");
    ReadAllChunks(first);
    EXPECT_FALSE(first.IsRunning());
}

TEST(ChildProcess, ChunksDecodeFromTheNamedCodePage) {
    const struct {
        unsigned codePage;
        std::string bytes;
        std::wstring expected;
    } cases[] = {
        {65001, "Progress=0.5\r\n", L"Progress=0.5\r\n"},
        {65001, "State=\xe4\xb8\xad\xe6\x96\x87", L"State=\u4e2d\u6587"},
        {936, "State=\xd6\xd0\xce\xc4", L"State=\u4e2d\u6587"},
        {0, "ExePath=/opt/parlumo", L"ExePath=/opt/parlumo"},
        {65001, "a\xff" "b", L"a\ufffd" "b"},          // undecodable bytes are replaced, not fatal
        {65001, std::string("ok\0junk", 7), L"ok"},     // the chunk ends at its zero byte
        {65001, std::string("\0tail", 5), L""},
        {65001, "", L""},
        {12345, "State=Success", L""},                  // no such code page: empty text
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codePage);
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(ChildProcess::DecodeChunk(c.bytes, c.codePage), c.expected);
    }
}

TEST(ChildProcess, ChineseReportFromAChildDecodesFromCodePage936) {
    ChildProcess child;
    child.CreatePipes();
    child.Start(Reporter("hex 53746174653dd6d0cec40d0a"));  // "State=" + CP936 "中文" + "\r\n"
    const std::vector<std::string> chunks = ReadAllChunks(child);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(ChildProcess::DecodeChunk(chunks[0], 936), L"State=\u4e2d\u6587\r\n");
}

// "open" on a program file starts it detached, in the given folder, and leaves no child
// of the installer behind.
TEST(ShellOpen, ProgramFileStartsDetachedInItsFolder) {
    const std::string folder = TestSupport::MakeFolder("shell open");
    const std::string script = folder + "/product start";
    TestSupport::WriteFile(script, "#!/bin/sh\npwd > started.tmp && mv started.tmp started\n");
    fs::permissions(script, fs::perms::owner_all);
    ASSERT_TRUE(Platform::ShellOpen(Wide(script), Wide(folder)));
    EXPECT_TRUE(OwnChildren().empty());
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return TestSupport::FileExists(folder + "/started"); }))
        << "the program never ran";
    EXPECT_EQ(TestSupport::ReadFile(folder + "/started"), folder + "\n");
}

// Anything that is not a program file goes to xdg-open (here a stand-in found first in
// PATH, so nothing leaves the machine); without xdg-open nothing can be opened.
TEST(ShellOpen, AddressesAndDocumentsGoToXdgOpen) {
    const std::string tools = TestSupport::MakeFolder("opener");
    const std::string received = tools + "/received";
    TestSupport::WriteFile(tools + "/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"" + received +
                                                    ".tmp\" && mv \"" + received + ".tmp\" \"" + received + "\"\n");
    fs::permissions(tools + "/xdg-open", fs::perms::owner_all);
    const std::string document = tools + "/agreement.html";
    TestSupport::WriteFile(document, "<html></html>");

    const char* saved = std::getenv("PATH");
    struct Restore {
        std::string value;
        ~Restore() { setenv("PATH", value.c_str(), 1); }
    } restore{saved ? saved : ""};
    setenv("PATH", (tools + ":" + restore.value).c_str(), 1);

    for (const std::string& target : {std::string("http://127.0.0.1:9/agreement"), document}) {
        SCOPED_TRACE(target);
        fs::remove(received);
        ASSERT_TRUE(Platform::ShellOpen(Wide(target)));
        ASSERT_TRUE(TestSupport::WaitUntil([&] { return TestSupport::FileExists(received); }))
            << "xdg-open never ran";
        EXPECT_EQ(TestSupport::ReadFile(received), target);
        EXPECT_TRUE(OwnChildren().empty());
    }

    setenv("PATH", TestSupport::MakeFolder("empty path").c_str(), 1);
    EXPECT_FALSE(Platform::ShellOpen(L"http://127.0.0.1:9/agreement"));
    EXPECT_FALSE(Platform::ShellOpen(L""));
}

}  // namespace
