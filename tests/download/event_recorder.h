#pragma once
// Records the events of one downloader and plays the owner's part: on DL_CODE_RETRY it
// calls Start() again from inside the event, on the downloader's own thread, as the
// orchestrator does.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "download/downloader.h"

struct RecordedEvent {
    int code;
    double value;
    std::wstring text;
};

class EventRecorder {
public:
    // Runs inside DL_CODE_RETRY before the restart (to change the server or the files).
    std::function<void()> beforeRestart;

    // The downloader to restart on DL_CODE_RETRY; null leaves the retry unanswered.
    void SetDownloader(CDownloader* downloader) {
        std::lock_guard<std::mutex> lock(mutex_);
        downloader_ = downloader;
    }

    DownloadEventCallback Callback() {
        return [this](int code, double value, const wchar_t* text) {
            CDownloader* restart = nullptr;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                events_.push_back({code, value, text});
                if (code == DL_CODE_RETRY) {
                    restart = downloader_;
                }
            }
            changed_.notify_all();
            if (restart != nullptr) {
                if (beforeRestart) {
                    beforeRestart();
                }
                restart->Start();
            }
        };
    }

    // Waits for DL_CODE_SUCCESS or DL_CODE_FAIL; false when none came within `limit`.
    bool WaitForEnd(std::chrono::milliseconds limit = std::chrono::seconds(120)) {
        return WaitFor([](const RecordedEvent& event) {
            return event.code == DL_CODE_SUCCESS || event.code == DL_CODE_FAIL;
        }, limit);
    }

    bool WaitForCode(int code, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        return WaitFor([code](const RecordedEvent& event) { return event.code == code; }, limit);
    }

    bool WaitFor(const std::function<bool(const RecordedEvent&)>& match, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [&] {
            for (const auto& event : events_) {
                if (match(event)) {
                    return true;
                }
            }
            return false;
        });
    }

    std::vector<RecordedEvent> Events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

    // The codes in order, progress left out.
    std::vector<int> Codes() {
        std::vector<int> codes;
        for (const auto& event : Events()) {
            if (event.code != DL_CODE_PROGRESS) {
                codes.push_back(event.code);
            }
        }
        return codes;
    }

    std::vector<RecordedEvent> Progress() {
        std::vector<RecordedEvent> progress;
        for (const auto& event : Events()) {
            if (event.code == DL_CODE_PROGRESS) {
                progress.push_back(event);
            }
        }
        return progress;
    }


private:
    // Guards `events_` and `downloader_`.
    std::mutex mutex_;
    std::condition_variable changed_;  // notified after every event
    std::vector<RecordedEvent> events_;
    CDownloader* downloader_ = nullptr;
};
