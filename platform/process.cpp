#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/text_encoding.h"

extern char** environ;

namespace Platform {
namespace {

constexpr int kFirstFreeDescriptor = 3;

void SetError(int* errorCode, int value) {
    if (errorCode) *errorCode = value;
}

// Moves a close-on-exec descriptor above the standard ones, so that handing it to a child
// as 0, 1 or 2 is always a real dup2 that drops the close-on-exec flag.
int AboveStandardDescriptors(int descriptor) {
    if (descriptor >= kFirstFreeDescriptor) return descriptor;
    const int moved = ::fcntl(descriptor, F_DUPFD_CLOEXEC, kFirstFreeDescriptor);
    const int savedError = errno;
    ::close(descriptor);
    errno = savedError;
    return moved;
}

// Signals whose handlers a child should start with as the system gives them, whatever the
// installer set up for itself (libraries commonly ignore SIGPIPE).
void DefaultSignals(sigset_t& set) {
    sigemptyset(&set);
    for (int signal : {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2}) {
        sigaddset(&set, signal);
    }
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::string> ReadLink(const std::string& path) {
    std::string target(4096, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return std::nullopt;
    target.resize(static_cast<std::size_t>(length));
    return target;
}

// argv[0] of a process; empty for kernel threads and processes that cannot be read.
std::string FirstArgument(const std::string& processFolder) {
    const int fd = ::open((processFolder + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char buffer[4096];
    const long length = ReadDescriptor(fd, buffer, sizeof buffer);
    ::close(fd);
    if (length <= 0) return {};
    return std::string(buffer, strnlen(buffer, static_cast<std::size_t>(length)));
}

bool HasImageName(const std::string& processFolder, const std::string& name) {
    if (auto executable = ReadLink(processFolder + "/exe")) {
        // A program whose file was replaced while it runs still is that program.
        static constexpr std::string_view kDeleted = " (deleted)";
        if (executable->ends_with(kDeleted)) executable->resize(executable->size() - kDeleted.size());
        if (BaseName(*executable) == name) return true;
    }
    const std::string first = FirstArgument(processFolder);
    return !first.empty() && BaseName(first) == name;
}

// The full path of `program` along PATH, as execvp would find it; empty when not found.
std::string FindInPath(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::string folders = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + program;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Starts `program` (a full path) as a grandchild that belongs to no one: the intermediate
// child starts a new session, forks the program and ends at once, and is reaped here. Only
// async-signal-safe calls run between fork and exec; the grandchild reports a failed exec
// through a close-on-exec pipe, whose end-of-data without a message means it started.
bool StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& workingFolder) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const int nullDevice = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nullDevice < 0) return false;
    int reportRead = -1;
    int reportWrite = -1;
    if (!CreatePipe(reportRead, reportWrite)) {
        ::close(nullDevice);
        return false;
    }
    const char* folder = workingFolder.empty() ? nullptr : workingFolder.c_str();

    const pid_t intermediate = ::fork();
    if (intermediate == 0) {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        sigset_t defaults;
        DefaultSignals(defaults);
        for (int signal = 1; signal < NSIG; ++signal) {
            if (sigismember(&defaults, signal) == 1) ::sigaction(signal, &standard, nullptr);
        }
        ::setsid();
        int failure = 0;
        if (folder && ::chdir(folder) != 0) failure = errno;
        if (failure == 0) {
            const pid_t program = ::fork();
            if (program == 0) {
                ::dup2(nullDevice, 0);
                ::dup2(nullDevice, 1);
                ::dup2(nullDevice, 2);
                ::execve(argv[0], argv.data(), environ);
                failure = errno;
                (void)!::write(reportWrite, &failure, sizeof failure);
                ::_exit(127);
            }
            if (program < 0) failure = errno;
        }
        if (failure != 0) (void)!::write(reportWrite, &failure, sizeof failure);
        ::_exit(failure == 0 ? 0 : 1);
    }
    ::close(nullDevice);
    CloseDescriptor(reportWrite);
    if (intermediate < 0) {
        CloseDescriptor(reportRead);
        return false;
    }
    WaitForProcess(intermediate, WaitMode::Block);
    int failure = 0;
    const long reported = ReadDescriptor(reportRead, &failure, sizeof failure);
    CloseDescriptor(reportRead);
    return reported == 0;
}

}  // namespace

bool CreatePipe(int& readEnd, int& writeEnd, int* errorCode) {
    readEnd = -1;
    writeEnd = -1;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        SetError(errorCode, errno);
        return false;
    }
    ends[0] = AboveStandardDescriptors(ends[0]);
    const int firstError = errno;
    ends[1] = AboveStandardDescriptors(ends[1]);
    if (ends[0] < 0 || ends[1] < 0) {
        SetError(errorCode, ends[0] < 0 ? firstError : errno);
        CloseDescriptor(ends[0]);
        CloseDescriptor(ends[1]);
        return false;
    }
    readEnd = ends[0];
    writeEnd = ends[1];
    return true;
}

void CloseDescriptor(int& descriptor) {
    if (descriptor >= 0) ::close(descriptor);  // even when interrupted, Linux has closed it
    descriptor = -1;
}

long ReadDescriptor(int descriptor, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, size);
        if (count >= 0) return static_cast<long>(count);
        if (errno != EINTR) return -1;
    }
}

bool WriteDescriptor(int descriptor, const void* buffer, std::size_t size) {
    const char* data = static_cast<const char*>(buffer);
    while (size > 0) {
        const ssize_t count = ::write(descriptor, data, size);
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

int SpawnProcess(const std::vector<std::wstring>& arguments, int standardInput, int standardOutput,
                 int* errorCode) {
    if (arguments.empty() || arguments.front().empty()) {
        SetError(errorCode, ENOENT);
        return -1;
    }
    std::vector<std::string> narrow;
    narrow.reserve(arguments.size());
    for (const std::wstring& argument : arguments) narrow.push_back(WideToActive(argument));
    std::vector<char*> argv;
    for (std::string& argument : narrow) argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        SetError(errorCode, ENOMEM);
        return -1;
    }
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        SetError(errorCode, ENOMEM);
        return -1;
    }
    int result = 0;
    auto stream = [&](int descriptor, int target, int openFlags) {
        if (result != 0) return;
        result = descriptor >= 0
                     ? posix_spawn_file_actions_adddup2(&actions, descriptor, target)
                     : posix_spawn_file_actions_addopen(&actions, target, "/dev/null", openFlags, 0);
    };
    stream(standardInput, 0, O_RDONLY);
    stream(standardOutput, 1, O_WRONLY);
    stream(-1, 2, O_WRONLY);

    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    DefaultSignals(defaults);
    if (result == 0) result = posix_spawnattr_setsigmask(&attributes, &none);
    if (result == 0) result = posix_spawnattr_setsigdefault(&attributes, &defaults);
    if (result == 0) {
        result = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    pid_t child = -1;
    // posix_spawnp reports a failed exec as its result and reaps the short-lived child itself.
    if (result == 0) result = posix_spawnp(&child, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        SetError(errorCode, result);
        return -1;
    }
    return static_cast<int>(child);
}

ProcessEnd WaitForProcess(int processId, WaitMode mode) {
    if (processId <= 0) return {true, -1};
    for (;;) {
        int status = 0;
        const pid_t result = ::waitpid(processId, &status, mode == WaitMode::Poll ? WNOHANG : 0);
        if (result == 0) return {false, 0};
        if (result < 0) {
            if (errno == EINTR) continue;
            return {true, -1};  // not (or no longer) our child: it is gone for us
        }
        if (WIFEXITED(status)) return {true, WEXITSTATUS(status)};
        if (WIFSIGNALED(status)) return {true, 128 + WTERMSIG(status)};
        // Stopped or continued children are still alive; only WUNTRACED/WCONTINUED report those.
    }
}

std::uint32_t FindProcessByImageName(std::wstring_view imageName) {
    if (imageName.empty()) return 0;
    const std::string name = WideToActive(imageName);
    DIR* processes = ::opendir("/proc");
    if (!processes) return 0;
    std::uint32_t found = 0;
    while (const dirent* entry = ::readdir(processes)) {
        char* end = nullptr;
        const unsigned long id = std::strtoul(entry->d_name, &end, 10);
        if (id == 0 || *end != '\0') continue;
        if (found != 0 && id >= found) continue;
        if (HasImageName(std::string("/proc/") + entry->d_name, name)) found = static_cast<std::uint32_t>(id);
    }
    ::closedir(processes);
    return found;
}

bool ShellOpen(std::wstring_view target, std::wstring_view workingFolder) {
    if (target.empty()) return false;
    std::string narrowTarget = WideToActive(target);
    const std::string folder = WideToActive(workingFolder);
    if (IsExecutableFile(narrowTarget)) {
        // The program runs in `workingFolder`, where a relative path would mean something else.
        if (narrowTarget.front() != '/') {
            char current[4096];
            if (!::getcwd(current, sizeof current)) return false;
            narrowTarget = std::string(current) + "/" + narrowTarget;
        }
        return StartDetached(narrowTarget, {}, folder);
    }
    const std::string opener = FindInPath("xdg-open");
    if (opener.empty()) return false;
    return StartDetached(opener, {narrowTarget}, folder);
}

}  // namespace Platform
