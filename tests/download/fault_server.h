#pragma once
// A download host on 127.0.0.1 that serves one package and misbehaves on request.
//
// Routes: "/<md5>/package.exe" (the package under its digest folder), "/<MD5>/package.exe"
// (the digest in upper case), "/<other md5>/package.exe" (a wrong digest),
// "/files/package.exe" (no digest folder), "/redirect/<n>" (n redirects, then the digest
// route), "/loop" (redirects to itself), "/status/<code>" (always that status).
// The knobs change how package bodies are sent; tests set them before or during a
// download. Every request is recorded.
//
// Runs on its own threads from construction to destruction; the knobs and Requests() may
// be used from any thread.

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FaultServer {
public:
    struct Request {
        std::string method;
        std::string path;
        std::string range;           // the Range header, "" when none
        std::string acceptEncoding;  // the Accept-Encoding header, "" when none
    };

    struct Knobs {
        // Cut this many package responses (-1: all) after `dropAfterBytes` bytes of body.
        std::atomic<int> dropTimes{0};
        std::atomic<std::int64_t> dropAfterBytes{0};
        // Stall this many package responses (-1: all) after `trickleAfterBytes` bytes: one
        // byte every two seconds from then on.
        std::atomic<int> trickleTimes{0};
        std::atomic<std::int64_t> trickleAfterBytes{0};
        // Package bodies are sent chunked, without a Content-Length.
        std::atomic<bool> noContentLength{false};
        // Range headers are ignored: the whole body is sent with status 200.
        std::atomic<bool> ignoreRange{false};
        // GET requests of the package whose Range starts at or after this offset answer 500.
        std::atomic<std::int64_t> failRangesFrom{-1};
        // Every GET of the package answers this status when not 0 (HEAD is not affected).
        std::atomic<int> getStatus{0};
        // HEAD requests get no answer until the knob is cleared or the server stops.
        std::atomic<bool> silentHead{false};
        // Limits each response to this many bytes per second when above 0.
        std::atomic<std::int64_t> bytesPerSecond{0};
    };

    explicit FaultServer(std::string body);
    // Serves a package of `size` bytes that repeats `pattern`, without holding it in memory;
    // for lengths beyond what a test can transfer.
    FaultServer(std::string pattern, std::int64_t size);
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    Knobs knobs;

    const std::string& Body() const { return body_; }
    const std::string& Md5() const { return md5_; }
    std::string BaseUrl() const;
    std::string DigestUrl() const;
    std::string UpperDigestUrl() const;
    std::string WrongDigestUrl() const;
    std::string PlainUrl() const;
    std::string RedirectUrl(int hops) const;
    std::string LoopUrl() const;
    std::string StatusUrl(int status) const;

    std::vector<Request> Requests();
    // The GET requests of the package routes only.
    std::vector<Request> PackageGets();

    // Deterministic bytes that differ at every offset pattern, so misplaced ranges show.
    static std::string MakeBody(std::size_t size, std::uint32_t seed = 1);

private:
    void ServePackage(const httplib::Request& request, httplib::Response& response);
    // Waits up to `pause` unless the server stops; false when stopping.
    bool Wait(std::chrono::milliseconds pause);
    static bool TakeOne(std::atomic<int>& times);

    std::string body_;
    std::int64_t size_ = 0;  // of the package; body_ repeats up to it
    std::string md5_;
    std::string wrongMd5_;
    httplib::Server server_;
    int port_ = 0;
    std::thread listener_;

    // Guards `requests_` and `stopping_`.
    std::mutex mutex_;
    std::condition_variable wake_;  // notified when stopping or when a knob is cleared
    std::vector<Request> requests_;
    bool stopping_ = false;
};
