#pragma once
// A small synchronous HTTP client for one request: up to three send attempts, the user's
// proxy configuration as a fallback when the direct send fails, a few response headers
// picked out with Utils::RegexFindAll, and a completeness check for HTML pages.
//
// Lives on the stack of one worker thread for the duration of one request; nothing in it
// is shared. Only `stopRequested` may be set by another thread.
//
// The body goes either to memory (`responseBody`, `responseText`) or, when `savePath` is
// set, to that file: appended after what the file held when Request() began. A failed
// attempt never leaves its bytes in the file for the next attempt to append to.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Http {
class HttpSession;
class HttpRequest;
}

class WinHttpClient {
public:
    // lastError values of the client's own.
    static constexpr std::uint32_t kErrorNoAddress = 3;
    static constexpr std::uint32_t kErrorTruncatedPage = 13;
    static constexpr std::uint32_t kErrorBadVerb = 87;
    static constexpr std::uint32_t kErrorAddressTooLong = 122;
    static constexpr int kAttempts = 3;

    explicit WinHttpClient(std::wstring url);
    ~WinHttpClient();
    WinHttpClient(const WinHttpClient&) = delete;
    WinHttpClient& operator=(const WinHttpClient&) = delete;

    // Sends `verb` ("GET" or "POST", any letter case) to `url`. True when a response was
    // received completely and accepted; false otherwise, with `lastError` telling why
    // (3 no address, 87 other verb, 13 truncated HTML page, 122 host or path too long,
    // otherwise an error code of the HTTP layer or of the file system).
    bool Request(std::wstring verb);

    // When false (the default), certificate errors are ignored on HTTPS requests.
    bool requireValidCertificate = false;
    std::wstring url;
    std::wstring hostName;
    std::wstring responseHeaders;  // status line and headers, CRLF-separated
    std::wstring responseText;
    std::wstring charset;
    std::vector<char> responseBody;  // when no savePath is set
    std::uint32_t responseLength = 0;
    // From the "Content-Length" header; 64 bits so that packages of 4 GiB and more report.
    std::uint64_t contentLength = 0;
    std::wstring responseCookies;
    std::uint32_t lastError = 0;
    std::wstring statusCode;
    std::wstring userAgent = L"WinHttpClient";
    std::wstring location;  // "Location" value up to and including its line feed
    int resolveTimeout = 0;
    int connectTimeout = 60000;
    int sendTimeout = 30000;
    int receiveTimeout = 30000;
    std::wstring savePath;

    // The address that answered last, after redirects (empty before a response).
    std::wstring finalUrl;

    // Set by another thread to abandon the request; every wait looks at it at least ten
    // times a second. Must outlive the request.
    const std::atomic<bool>* stopRequested = nullptr;

    // Called on the requesting thread when an attempt starts to store a body
    // (`total` = contentLength, 0 when unknown) and after every piece stored.
    std::function<void(std::uint64_t total)> onBodyBegin;
    std::function<void(const char* data, std::size_t size, std::uint64_t received, std::uint64_t total)> onBodyData;

private:
    enum class Attempt { Accepted, Failed, Cancelled };
    Attempt ReadResponse(Http::HttpRequest& request, bool isGet);
    bool Stopped() const { return stopRequested != nullptr && stopRequested->load(); }

    std::unique_ptr<Http::HttpSession> session;
    // Size of the save file when the request began; each attempt stores from there.
    std::optional<std::uint64_t> saveBase;
};
