#pragma once
// A private X server for GUI tests: Xvfb on a display number it picks itself
// (-displayfd), and child programs run against it with their standard output read
// line by line. Everything started here is ended and reaped by the destructor.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace GuiTest {

class XvfbSession {
public:
    XvfbSession();
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    static bool XvfbInstalled();
    // Starts the server; false (with `error`) when it does not come up.
    bool Start(std::string& error);
    const std::string& Display() const { return display_; }

    // Starts `arguments` with DISPLAY set and its standard output piped; -1 on failure.
    int Spawn(const std::vector<std::string>& arguments);
    // The next line the spawned program `pid` writes, or nullopt after `limit` or at its end.
    std::optional<std::string> ReadLine(int pid, std::chrono::milliseconds limit);
    // Waits for a line starting with `prefix`, skipping others; nullopt on timeout.
    std::optional<std::string> WaitForLine(int pid, const std::string& prefix, std::chrono::milliseconds limit);
    // Runs a tool (xdotool, import) to its end; its exit code, -1 when it could not run.
    int Run(const std::vector<std::string>& arguments);
    // Waits for `pid` to end (up to `limit`); its exit code, or nullopt when it still runs.
    std::optional<int> WaitForExit(int pid, std::chrono::milliseconds limit);

private:
    struct Child {
        int pid;
        int outputFd;
        std::string buffered;
        bool reaped;
    };
    Child* Find(int pid);
    int serverPid_ = -1;
    std::string display_;
    std::vector<Child> children_;
};

}  // namespace GuiTest
