#pragma once
// The pauses and time limits a downloader uses between and during its transfers.
//
// Downloaders take one of these at construction; an empty field means the downloader's
// own value (the values the installer ships with). Tests and diagnostics shorten them so
// that a retry budget or a stalled server can be exercised in seconds.

#include <chrono>
#include <optional>

struct DownloadTimings {
    // Pause between two attempts of a transfer (a range, for the multi-part downloader).
    std::optional<std::chrono::milliseconds> retryPause;
    // Pause between starting two range transfers of one multi-part attempt.
    std::optional<std::chrono::milliseconds> partStagger;
    // A transfer slower than 1 byte per second for this long is abandoned and retried.
    std::optional<long> lowSpeedSeconds;
    // Limit of the connection phase of every request.
    std::optional<long> connectTimeoutSeconds;
};
