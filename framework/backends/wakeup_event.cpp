#include "framework/backends/wakeup_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace Framework {

WakeupEvent::WakeupEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeupEvent::~WakeupEvent() {
    if (fd_ >= 0) close(fd_);
}

void WakeupEvent::Signal() {
    const std::uint64_t one = 1;
    // A full counter already means "wake up"; nothing else can go wrong worth reporting.
    [[maybe_unused]] ssize_t written = write(fd_, &one, sizeof one);
}

void WakeupEvent::Drain() {
    std::uint64_t value;
    [[maybe_unused]] ssize_t got = read(fd_, &value, sizeof value);
}

void WaitReadable(int fdA, int fdB, int timeoutMs) {
    pollfd fds[2];
    int count = 0;
    if (fdA >= 0) fds[count++] = {fdA, POLLIN, 0};
    if (fdB >= 0) fds[count++] = {fdB, POLLIN, 0};
    poll(fds, static_cast<nfds_t>(count), timeoutMs);
}

}  // namespace Framework
