#pragma once
// A hidden child program whose standard output the installer reads through a pipe: the
// downloaded setup package and a previous version's uninstaller report their progress
// this way.
//
// Owned by the runner that started it (one object at a time per runner) and used only on
// that runner's worker thread; no locking. Failures to make the pipes or the child throw
// Utils::Exception (always with an empty message), which the runner turns into a failure
// event. Everything else reports plain results.

#include <array>
#include <cstddef>
#include <string>

namespace Utils {

// One anonymous pipe. Both ends are close-on-exec: a child gets an end only when it is
// handed to it as a standard stream, so two children never hold each other's ends.
class Pipe {
public:
    Pipe() = default;
    ~Pipe();  // Close()
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    // Makes the pipe (closing any ends held before). Throws Utils::Exception when the
    // system refuses; no end is left open then.
    void Create();

    int ReadEnd() const { return readEnd_; }    // -1 when none
    int WriteEnd() const { return writeEnd_; }  // -1 when none
    void CloseReadEnd();
    void CloseWriteEnd();
    void Close();  // both ends, each only when open

private:
    int readEnd_ = -1;
    int writeEnd_ = -1;
};

class ChildProcess {
public:
    // The command line buffer, terminator included: at most 1023 characters fit.
    static constexpr std::size_t kCommandLineCapacity = 1024;
    // The most one read takes from the child's standard output.
    static constexpr std::size_t kChunkSize = 1024;
    // What GetExitCode answers while the child runs.
    static constexpr unsigned long kStillActive = 259;

    ChildProcess() = default;
    ~ChildProcess();  // Close()
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Makes the output and input pipes. The child's standard error is not a pipe: it goes to
    // /dev/null, so that a child writing much there can never block on a pipe nobody reads.
    // Throws Utils::Exception when a pipe cannot be made.
    void CreatePipes();

    // Starts the program named by the command line's first token (quoted when its path has
    // blanks) with the rest split into arguments by the Windows command-line rules, its
    // standard output and input on the pipes. Throws Utils::Exception when the command line
    // is longer than 1023 characters (it is never cut), when the pipes were not made, when a
    // child was already started, or when the program cannot be started; the pipes then stay
    // open until Close. On success the installer keeps only the output's read end and the
    // input's write end, so the output reports end-of-data once every writer has ended.
    void Start(const std::wstring& commandLine);

    // Blocks until the child writes something or the last writer has gone, and returns up to
    // kChunkSize bytes. Empty when nothing can be read any more (the child has ended, or no
    // child was started).
    std::string ReadChunk();

    // The chunk's bytes up to its first zero byte, decoded from `codePage` (0 = the system's
    // active code page, 65001 = UTF-8, N = "CPN"); undecodable bytes become U+FFFD. Empty
    // text when the code page is unknown.
    static std::wstring DecodeChunk(const std::string& chunk, unsigned codePage);

    // kStillActive while the child runs; once it has ended, its exit status (128 + N for
    // signal N). The answer comes from the child's real end, so an ended child is never taken
    // for a running one, whatever its status. 0 when no child was started.
    unsigned long GetExitCode();

    // True while the child runs (a started child that has not ended).
    bool IsRunning();

    // Waits without a time limit for the child to end. Returns at once when none runs.
    void Wait();

    // Releases both pipes. A child that has ended is reaped; one that still runs is left
    // running (the runners always Wait first).
    void Close();

    // The child's process id, 0 before a successful Start.
    unsigned long ProcessId() const { return processId_ > 0 ? static_cast<unsigned long>(processId_) : 0; }

    // The command line as copied at Start (empty before).
    std::wstring CommandLine() const { return std::wstring(commandLine_.data()); }

private:
    void Reap(bool block);

    std::array<wchar_t, kCommandLineCapacity> commandLine_{};  // private copy, terminated
    Pipe outputPipe_;  // the child's standard output; the installer reads its read end
    Pipe inputPipe_;   // the child's standard input; never written, so it never reaches its end
    int processId_ = -1;
    bool ended_ = false;          // the child has been reaped; processId_ must not be asked again
    unsigned long exitCode_ = 0;  // valid once ended_
};

}  // namespace Utils
