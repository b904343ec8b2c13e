#include "fault_server.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <thread>

#include "support/file_md5.h"

namespace {

constexpr std::size_t kChunk = 64 * 1024;

std::string Md5Of(const std::string& bytes) {
    Utils::Md5Context context;
    context.Update(bytes.data(), bytes.size());
    return context.FinalHex();
}

// The first offset of a "bytes=X-..." header, -1 when there is none.
std::int64_t RangeStart(const std::string& header) {
    long long first = -1;
    if (std::sscanf(header.c_str(), "bytes=%lld-", &first) != 1) {
        return -1;
    }
    return first;
}

}  // namespace

std::string FaultServer::MakeBody(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (std::size_t i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<char>(state & 0xFF);
    }
    return bytes;
}

FaultServer::FaultServer(std::string body) : FaultServer(body, static_cast<std::int64_t>(body.size())) {}

FaultServer::FaultServer(std::string pattern, std::int64_t size) : body_(std::move(pattern)), size_(size) {
    md5_ = Md5Of(body_);
    wrongMd5_ = Md5Of(body_ + "x");
    server_.Get(R"(/([0-9a-fA-F]{32})/package\.exe)",
                [this](const httplib::Request& request, httplib::Response& response) { ServePackage(request, response); });
    server_.Get("/files/package.exe",
                [this](const httplib::Request& request, httplib::Response& response) { ServePackage(request, response); });
    server_.Get(R"(/redirect/(\d+))", [this](const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back({request.method, request.path, request.get_header_value("Range"),
                                 request.get_header_value("Accept-Encoding")});
        }
        const int hops = std::stoi(request.matches[1]);
        response.set_redirect(hops > 0 ? "/redirect/" + std::to_string(hops - 1) : "/" + md5_ + "/package.exe", 302);
    });
    server_.Get("/loop", [this](const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back({request.method, request.path, request.get_header_value("Range"),
                                 request.get_header_value("Accept-Encoding")});
        }
        response.set_redirect("/loop", 302);
    });
    server_.Get(R"(/status/(\d+))", [this](const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back({request.method, request.path, request.get_header_value("Range"),
                                 request.get_header_value("Accept-Encoding")});
        }
        response.status = std::stoi(request.matches[1]);
        response.set_content("failure", "text/plain");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    listener_ = std::thread([this] { server_.listen_after_bind(); });
    // The socket listens from bind on, so clients could connect at once; but stop() only
    // reaches a server whose accept loop runs, so a server destroyed right away would
    // leave its listener waiting forever. Wait until the loop runs.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (port_ > 0 && !server_.is_running() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FaultServer::~FaultServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    server_.stop();
    listener_.join();
}

std::string FaultServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
std::string FaultServer::DigestUrl() const { return BaseUrl() + "/" + md5_ + "/package.exe"; }
std::string FaultServer::UpperDigestUrl() const {
    std::string upper = md5_;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    return BaseUrl() + "/" + upper + "/package.exe";
}
std::string FaultServer::WrongDigestUrl() const { return BaseUrl() + "/" + wrongMd5_ + "/package.exe"; }
std::string FaultServer::PlainUrl() const { return BaseUrl() + "/files/package.exe"; }
std::string FaultServer::RedirectUrl(int hops) const { return BaseUrl() + "/redirect/" + std::to_string(hops); }
std::string FaultServer::LoopUrl() const { return BaseUrl() + "/loop"; }
std::string FaultServer::StatusUrl(int status) const { return BaseUrl() + "/status/" + std::to_string(status); }

std::vector<FaultServer::Request> FaultServer::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<FaultServer::Request> FaultServer::PackageGets() {
    std::vector<Request> gets;
    for (const auto& request : Requests()) {
        if (request.method == "GET" && request.path.find("package.exe") != std::string::npos) {
            gets.push_back(request);
        }
    }
    return gets;
}

bool FaultServer::Wait(std::chrono::milliseconds pause) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, pause, [this] { return stopping_; });
}

bool FaultServer::TakeOne(std::atomic<int>& times) {
    int current = times.load();
    while (current != 0) {
        if (current < 0) {
            return true;
        }
        if (times.compare_exchange_weak(current, current - 1)) {
            return true;
        }
    }
    return false;
}

void FaultServer::ServePackage(const httplib::Request& request, httplib::Response& response) {
    const std::string range = request.get_header_value("Range");
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back({request.method, request.path, range, request.get_header_value("Accept-Encoding")});
    }
    const bool head = request.method == "HEAD";
    if (head) {
        while (knobs.silentHead.load()) {
            if (!Wait(std::chrono::milliseconds(50))) {
                return;
            }
        }
    } else {
        if (knobs.getStatus.load() != 0) {
            response.status = knobs.getStatus.load();
            response.set_content("failure", "text/plain");
            return;
        }
        const std::int64_t failFrom = knobs.failRangesFrom.load();
        if (failFrom >= 0 && !range.empty() && RangeStart(range) >= failFrom) {
            response.status = 500;
            response.set_content("failure", "text/plain");
            return;
        }
    }

    const bool cut = !head && TakeOne(knobs.dropTimes);
    const bool trickle = !head && TakeOne(knobs.trickleTimes);
    const std::int64_t dropAfter = knobs.dropAfterBytes.load();
    const std::int64_t trickleAfter = knobs.trickleAfterBytes.load();
    const std::int64_t rate = knobs.bytesPerSecond.load();
    auto sent = std::make_shared<std::int64_t>(0);
    const auto began = std::chrono::steady_clock::now();

    auto provide = [this, cut, trickle, dropAfter, trickleAfter, rate, sent, began](
                       std::size_t offset, std::size_t length, httplib::DataSink& sink) -> bool {
        std::int64_t chunk = static_cast<std::int64_t>(std::min(length, kChunk));
        if (cut) {
            if (*sent >= dropAfter) {
                return false;  // closes the connection in the middle of the body
            }
            chunk = std::min(chunk, dropAfter - *sent);
        }
        if (trickle) {
            if (*sent >= trickleAfter) {
                if (!Wait(std::chrono::seconds(2))) {
                    return false;
                }
                chunk = 1;
            } else {
                chunk = std::min(chunk, trickleAfter - *sent);
            }
        }
        if (rate > 0) {
            chunk = std::min<std::int64_t>(chunk, std::max<std::int64_t>(1, rate / 20));
            const auto due = began + std::chrono::microseconds(*sent * 1000000 / rate);
            const auto now = std::chrono::steady_clock::now();
            if (due > now &&
                !Wait(std::chrono::duration_cast<std::chrono::milliseconds>(due - now) + std::chrono::milliseconds(1))) {
                return false;
            }
        }
        if (!sink.is_writable()) {
            return false;
        }
        // Never past the end of the pattern; the next call continues from its start.
        const std::size_t at = offset % body_.size();
        chunk = std::min<std::int64_t>(chunk, static_cast<std::int64_t>(body_.size() - at));
        if (!sink.write(body_.data() + at, static_cast<std::size_t>(chunk))) {
            return false;
        }
        *sent += chunk;
        return true;
    };

    if (knobs.noContentLength.load() || (knobs.ignoreRange.load() && !range.empty())) {
        response.status = 200;
        response.set_chunked_content_provider(
            "application/octet-stream", [this, provide](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= static_cast<std::size_t>(size_)) {
                    sink.done();
                    return true;
                }
                return provide(offset, static_cast<std::size_t>(size_) - offset, sink);
            });
        return;
    }
    response.set_content_provider(static_cast<std::size_t>(size_), "application/octet-stream", provide);
}
