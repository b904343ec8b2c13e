#pragma once
// The HTTP/1.1 layer under WinHttpClient: what the client needs of a system HTTP stack,
// over sockets, with OpenSSL for HTTPS.
//
// An HttpSession holds the user agent, the time-outs, an optional stop flag and one idle
// keep-alive connection; an HttpRequest is one verb on one address within a session. The
// calls mirror the stack the client was written for: Send() connects and writes the
// request, ReceiveResponse() reads the response head and follows redirects (at most 10,
// never from HTTPS to HTTP), then QueryDataAvailable() and ReadData() deliver the body
// whether it is framed by Content-Length, chunked or ended by the server's close.
//
// Failures come back as false with LastError() set to one of the error codes below.
//
// A session and its requests belong to one thread. Only the stop flag, set by any thread,
// crosses threads: every wait on the network looks at it at least ten times a second.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Http {

// Error codes, numbered as the system HTTP stack numbers them so that they read the same
// in the log and in failure events.
inline constexpr std::uint32_t kErrorOutOfHandles = 12001;
inline constexpr std::uint32_t kErrorTimeout = 12002;
inline constexpr std::uint32_t kErrorInvalidUrl = 12005;
inline constexpr std::uint32_t kErrorUnrecognizedScheme = 12006;
inline constexpr std::uint32_t kErrorNameNotResolved = 12007;
inline constexpr std::uint32_t kErrorOperationCancelled = 12017;
inline constexpr std::uint32_t kErrorIncorrectHandleState = 12019;
inline constexpr std::uint32_t kErrorCannotConnect = 12029;
inline constexpr std::uint32_t kErrorConnectionError = 12030;
inline constexpr std::uint32_t kErrorInvalidServerResponse = 12152;
inline constexpr std::uint32_t kErrorRedirectFailed = 12156;
inline constexpr std::uint32_t kErrorSecureFailure = 12175;

// Redirects followed before a request fails with kErrorRedirectFailed.
inline constexpr int kMaxRedirects = 10;

// An address split into its parts. `path` keeps the query ("/a/b?c=d"); it is "/" when
// the address has none.
struct UrlComponents {
    std::wstring scheme;  // "http" or "https", lower case
    std::wstring host;    // without brackets for IPv6 literals
    std::uint16_t port = 0;
    std::wstring path;
    bool secure = false;
};

// Splits an absolute http or https address. False with `error` set to kErrorInvalidUrl
// (malformed, bad port, no host) or kErrorUnrecognizedScheme (another scheme).
bool CrackUrl(const std::wstring& url, UrlComponents& parts, std::uint32_t& error);

// An HTTP proxy to send requests through ("host:port"); empty means direct.
struct ProxyServer {
    std::wstring host;
    std::uint16_t port = 0;
    bool IsSet() const { return !host.empty(); }
};

class HttpSession {
public:
    explicit HttpSession(std::wstring userAgent);
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    // Milliseconds; 0 or less means no limit (a stop still ends every wait).
    void SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs);

    // A flag that another thread sets to abandon every wait of this session's requests;
    // they then fail with kErrorOperationCancelled. Must outlive the session.
    void SetStopFlag(const std::atomic<bool>* stop);

    struct State;
    State& state() { return *state_; }

private:
    std::unique_ptr<State> state_;
};

class HttpRequest {
public:
    // Nothing touches the network until Send().
    HttpRequest(HttpSession& session, const UrlComponents& target, std::wstring verb);
    ~HttpRequest();  // a connection whose response was read completely goes back to the session
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    // Accept any server certificate (unknown authority, expired, other name), as the
    // client does by default. Without it the certificate chain and host name are checked
    // against the system's trusted authorities.
    void SetIgnoreCertificateErrors(bool ignore);

    // Sends this request (and its redirects) through an HTTP proxy from now on.
    void SetProxy(const ProxyServer& proxy);

    // Connects (or reuses the session's idle connection) and writes the request.
    // False on name resolution, connection, TLS or write failures.
    bool Send();

    // Reads the response head, following redirects. False when no usable response came.
    bool ReceiveResponse();

    // The final response's status line and headers, each line ending in CRLF, followed by
    // an empty line. Header bytes are taken one to one as characters.
    const std::wstring& RawHeaders() const;

    // The final response's status code as text ("200"); empty before a response.
    std::wstring StatusCode() const;

    // The address that answered last, after redirects.
    std::wstring FinalUrl() const;

    // Waits until body bytes are at hand and tells how many; 0 at the end of the body.
    // False on a time-out, a cancel, a broken connection or a body cut short (fewer bytes
    // than announced, a chunked body without its last chunk).
    bool QueryDataAvailable(std::size_t& available);

    // Copies up to `size` body bytes that QueryDataAvailable announced (waiting for more
    // when none are buffered). `read` is 0 at the end of the body.
    bool ReadData(void* buffer, std::size_t size, std::size_t& read);

    std::uint32_t LastError() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace Http
