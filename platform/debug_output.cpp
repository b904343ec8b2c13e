#include "platform/debug_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/text_encoding.h"

namespace Platform {
namespace {

// The sink is opened once, on the first line: the file named by PARLUMO_LOG (appended to,
// created when missing) or standard error.
int SinkDescriptor() {
    static const int descriptor = [] {
        const char* file = std::getenv("PARLUMO_LOG");
        if (file && *file) {
            const int fd = open(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
            if (fd >= 0) return fd;
        }
        return static_cast<int>(STDERR_FILENO);
    }();
    return descriptor;
}

// Serialises writes: a single write(2) of a long line to a pipe or terminal is not atomic
// beyond PIPE_BUF, and a line must never be split by another thread's line.
std::mutex sinkMutex;

}  // namespace

void WriteDebugOutput(std::wstring_view text) {
    const std::string line = WideToUtf8(text);
    const int fd = SinkDescriptor();
    std::lock_guard<std::mutex> lock(sinkMutex);
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t result = write(fd, line.data() + written, line.size() - written);
        if (result < 0) {
            if (errno == EINTR) continue;
            return;  // nobody listens: the line is dropped like an unread debugger message
        }
        written += static_cast<std::size_t>(result);
    }
}

}  // namespace Platform
