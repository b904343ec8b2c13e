// Window framework benchmark under a private Xvfb.
//
//   framework_bench [runs]
//
// Prints, for a 600x400 layout with a dozen images (the GUI test's probe program):
//   - process start to first painted frame (spawn until the probe reports READY, which
//     it does once its first paint is on screen), against a peer measured in the same
//     run: xdpyinfo, a minimal X client that only connects, queries and exits;
//   - the mean full-window repaint (layout, paint into the back buffer, show);
//   - CPU time and wake-ups of the idle window over three seconds (zero means no polling).
// Nothing here asserts on time; the figures are for the notes.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "xvfb_session.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// utime + stime in clock ticks, and voluntary + involuntary context switches.
std::pair<long, long> CpuAndSwitches(int pid) {
    long ticks = -1, switches = 0;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), {});
    const auto close = content.rfind(')');
    if (close != std::string::npos) {
        std::istringstream in(content.substr(close + 2));
        std::string field;
        std::vector<std::string> fields;
        while (in >> field) fields.push_back(field);
        if (fields.size() > 12) ticks = std::stol(fields[11]) + std::stol(fields[12]);
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
            switches += std::stol(line.substr(line.find(':') + 1));
        }
    }
    return {ticks, switches};
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    if (!GuiTest::XvfbSession::XvfbInstalled()) {
        std::printf("Xvfb is not installed; nothing measured\n");
        return 0;
    }
    GuiTest::XvfbSession session;
    std::string error;
    if (!session.Start(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const std::string probe = std::string(PARLUMO_TEST_HELPERS_DIR) + "/framework_gui_probe";
    const std::string skin = (std::filesystem::temp_directory_path() / ("parlumo-bench-skin-" + std::to_string(getpid()))).string();

    std::vector<double> firstFrame, peer;
    double repaint = 0;
    long idleTicks = -1, idleSwitches = -1;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const bool last = run == runs - 1;
        const int pid = last ? session.Spawn({probe, skin, "--repaint-bench", "200"}) : session.Spawn({probe, skin});
        if (pid < 0 || !session.WaitForLine(pid, "READY", 30s)) {
            std::fprintf(stderr, "the probe did not show its window\n");
            return 1;
        }
        firstFrame.push_back(Milliseconds(Clock::now() - start));
        if (last) {
            if (auto line = session.WaitForLine(pid, "REPAINT", 60s)) repaint = std::atof(line->c_str() + 8) / 1000.0;
            const auto before = CpuAndSwitches(pid);
            std::this_thread::sleep_for(3s);  // the idle period being measured, not a wait for an event
            const auto after = CpuAndSwitches(pid);
            idleTicks = after.first - before.first;
            idleSwitches = after.second - before.second;
        }
        kill(pid, SIGTERM);
        session.WaitForExit(pid, 10s);

        const auto peerStart = Clock::now();
        if (session.Run({"xdpyinfo"}) == 0) peer.push_back(Milliseconds(Clock::now() - peerStart));
    }
    std::filesystem::remove_all(skin);
    const double frame = Median(firstFrame), peerTime = Median(peer);
    std::printf("process start to first painted frame (600x400, 13 images), median of %d: %.1f ms\n", runs, frame);
    std::printf("peer xdpyinfo (connect, query, exit), median: %.1f ms; ratio %.2f\n", peerTime,
                peerTime > 0 ? frame / peerTime : 0.0);
    std::printf("full-window repaint, mean of 200: %.3f ms\n", repaint);
    std::printf("idle window over 3 s: %ld CPU ticks, %ld context switches\n", idleTicks, idleSwitches);
    return 0;
}
