#include "xvfb_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace GuiTest {

namespace {

std::vector<char*> Argv(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

std::vector<std::string> EnvironmentWith(const std::string& display) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "DISPLAY=", 8) != 0) env.emplace_back(*e);
    }
    env.push_back("DISPLAY=" + display);
    return env;
}

std::chrono::steady_clock::time_point Deadline(std::chrono::milliseconds limit) {
    return std::chrono::steady_clock::now() + limit;
}

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

XvfbSession::XvfbSession() = default;

XvfbSession::~XvfbSession() {
    for (Child& child : children_) {
        if (!child.reaped) {
            kill(child.pid, SIGTERM);
            waitpid(child.pid, nullptr, 0);
        }
        if (child.outputFd >= 0) close(child.outputFd);
    }
    if (serverPid_ > 0) {
        kill(serverPid_, SIGTERM);
        waitpid(serverPid_, nullptr, 0);
    }
}

bool XvfbSession::XvfbInstalled() {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t colon = folders.find(':', start);
        const std::string folder = folders.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!folder.empty() && access((folder + "/Xvfb").c_str(), X_OK) == 0) return true;
        if (colon == std::string::npos) break;
        start = colon + 1;
    }
    return false;
}

bool XvfbSession::Start(std::string& error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = "no pipe";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The write end becomes descriptor 3 of the server, the only one it keeps open.
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::vector<std::string> arguments = {"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24",
                                                "-nolisten", "tcp", "-noreset"};
    auto argv = Argv(arguments);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (failed != 0) {
        close(fds[0]);
        error = "Xvfb cannot be started";
        return false;
    }
    serverPid_ = pid;
    std::string number;
    const auto deadline = Deadline(std::chrono::seconds(30));
    while (number.find('\n') == std::string::npos) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, MillisecondsLeft(deadline)) <= 0) break;
        char c[16];
        const ssize_t got = read(fds[0], c, sizeof c);
        if (got <= 0) break;
        number.append(c, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        error = "Xvfb did not report its display";
        return false;
    }
    display_ = ":" + number.substr(0, number.find('\n'));
    return true;
}

int XvfbSession::Spawn(const std::vector<std::string>& arguments) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    const auto envStrings = EnvironmentWith(display_);
    auto env = Argv(envStrings);
    auto argv = Argv(arguments);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, arguments[0].c_str(), &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (failed != 0) {
        close(fds[0]);
        return -1;
    }
    children_.push_back({pid, fds[0], {}, false});
    return pid;
}

XvfbSession::Child* XvfbSession::Find(int pid) {
    for (Child& child : children_) {
        if (child.pid == pid) return &child;
    }
    return nullptr;
}

std::optional<std::string> XvfbSession::ReadLine(int pid, std::chrono::milliseconds limit) {
    Child* child = Find(pid);
    if (!child) return std::nullopt;
    const auto deadline = Deadline(limit);
    for (;;) {
        const std::size_t newline = child->buffered.find('\n');
        if (newline != std::string::npos) {
            std::string line = child->buffered.substr(0, newline);
            child->buffered.erase(0, newline + 1);
            return line;
        }
        pollfd p{child->outputFd, POLLIN, 0};
        if (poll(&p, 1, MillisecondsLeft(deadline)) <= 0) return std::nullopt;
        char buffer[512];
        const ssize_t got = read(child->outputFd, buffer, sizeof buffer);
        if (got <= 0) return std::nullopt;
        child->buffered.append(buffer, static_cast<std::size_t>(got));
    }
}

std::optional<std::string> XvfbSession::WaitForLine(int pid, const std::string& prefix, std::chrono::milliseconds limit) {
    const auto deadline = Deadline(limit);
    for (;;) {
        auto line = ReadLine(pid, std::chrono::milliseconds(MillisecondsLeft(deadline)));
        if (!line) return std::nullopt;
        if (line->rfind(prefix, 0) == 0) return line;
    }
}

int XvfbSession::Run(const std::vector<std::string>& arguments) {
    const auto envStrings = EnvironmentWith(display_);
    auto env = Argv(envStrings);
    auto argv = Argv(arguments);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Tools talk on their standard output; the tests look only at their exit codes.
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, arguments[0].c_str(), &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<int> XvfbSession::WaitForExit(int pid, std::chrono::milliseconds limit) {
    Child* child = Find(pid);
    if (!child || child->reaped) return std::nullopt;
    const auto deadline = Deadline(limit);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            child->reaped = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (MillisecondsLeft(deadline) == 0) return std::nullopt;
        // The child's end shows as the end of its output; wait on that instead of sleeping.
        pollfd p{child->outputFd, POLLIN, 0};
        if (poll(&p, 1, std::min(MillisecondsLeft(deadline), 50)) > 0) {
            char buffer[512];
            const ssize_t got = read(child->outputFd, buffer, sizeof buffer);
            if (got > 0) child->buffered.append(buffer, static_cast<std::size_t>(got));
        }
    }
}

}  // namespace GuiTest
