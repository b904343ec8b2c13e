#include "download/http_connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/text_encoding.h"

// glibc's asynchronous resolver starts its helper threads where the thread sanitizer cannot
// see them, and the sanitizer's allocator then fails in them. Thread-sanitizer builds resolve
// names with the plain blocking call instead (name lookups in tests are local).
#if defined(__SANITIZE_THREAD__)
#define PARLUMO_BLOCKING_RESOLVER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define PARLUMO_BLOCKING_RESOLVER 1
#endif
#endif
#ifndef PARLUMO_BLOCKING_RESOLVER
#define PARLUMO_BLOCKING_RESOLVER 0
#endif

namespace Http {
namespace {

// Bytes asked of the socket per read; large enough that a fast local transfer is not
// bound by system calls.
constexpr std::size_t kReadChunk = 256 * 1024;
// A response head or chunk-size line longer than this is not HTTP.
constexpr std::size_t kMaxHeadBytes = 64 * 1024;
constexpr std::size_t kMaxChunkLine = 4096;
// Longest slice of any wait, so a stop request is seen quickly.
constexpr int kStopCheckMs = 100;
// A redirect body larger than this is not read to keep the connection; it is closed.
constexpr std::uint64_t kMaxDrainBytes = 1024 * 1024;

std::string Narrow(const std::wstring& text) { return Platform::WideToUtf8(text); }

// Header bytes are taken one to one as characters.
std::wstring WidenBytes(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string TrimBlank(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool ParseDecimal(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 19) {
        return false;
    }
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

// The request target as it goes on the wire: UTF-8, with blanks, control characters and
// non-ASCII bytes percent-encoded, so an address can never inject header lines.
std::string WirePath(const std::wstring& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : Narrow(path)) {
        if (c <= 0x20 || c >= 0x7F) {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

bool IsIpLiteral(const std::string& host) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 || inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string HostForHeader(const UrlComponents& target) {
    std::string host = Narrow(target.host);
    if (host.find(':') != std::string::npos) {
        host = "[" + host + "]";
    }
    const std::uint16_t defaultPort = target.secure ? 443 : 80;
    if (target.port != defaultPort) {
        host += ":" + std::to_string(target.port);
    }
    return host;
}

// Unread bytes from the network, kept in one block that is refilled at its end.
class ByteBuffer {
public:
    const char* Data() const { return storage_.data() + begin_; }
    std::size_t Size() const { return end_ - begin_; }
    void Consume(std::size_t count) {
        begin_ += count;
        if (begin_ == end_) {
            begin_ = end_ = 0;
        }
    }
    // Room for `count` more bytes at the end; returns where they go.
    char* Reserve(std::size_t count) {
        if (begin_ > 0 && storage_.size() - end_ < count) {
            std::memmove(storage_.data(), storage_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (storage_.size() - end_ < count) {
            storage_.resize(end_ + count);
        }
        return storage_.data() + end_;
    }
    void Commit(std::size_t count) { end_ += count; }

private:
    std::vector<char> storage_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// What the TLS layer's socket adapter needs of one connection.
struct SocketEnd {
    int fd = -1;
    bool atEnd = false;  // the server closed its side
};

// TLS reads and writes the socket through this adapter rather than OpenSSL's own, which
// writes with write(2): a server that closes while a record is being written would then
// raise SIGPIPE and end the whole installer. Here every write is a send() without signal.
BIO_METHOD* SocketAdapter() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "parlumo socket");
        BIO_meth_set_write(m, [](BIO* bio, const char* data, int size) -> int {
            auto* end = static_cast<SocketEnd*>(BIO_get_data(bio));
            BIO_clear_retry_flags(bio);
            const ssize_t put = ::send(end->fd, data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
            if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                BIO_set_retry_write(bio);
            }
            return static_cast<int>(put);
        });
        BIO_meth_set_read(m, [](BIO* bio, char* into, int size) -> int {
            auto* end = static_cast<SocketEnd*>(BIO_get_data(bio));
            BIO_clear_retry_flags(bio);
            const ssize_t got = ::recv(end->fd, into, static_cast<std::size_t>(size), 0);
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                BIO_set_retry_read(bio);
            } else if (got == 0) {
                end->atEnd = true;
            }
            return static_cast<int>(got);
        });
        BIO_meth_set_ctrl(m, [](BIO* bio, int command, long, void*) -> long {
            if (command == BIO_CTRL_FLUSH) {
                return 1;
            }
            if (command == BIO_CTRL_EOF) {
                return static_cast<SocketEnd*>(BIO_get_data(bio))->atEnd ? 1 : 0;
            }
            return 0;
        });
        BIO_meth_set_create(m, [](BIO* bio) -> int {
            BIO_set_init(bio, 1);
            return 1;
        });
        return m;
    }();
    return method;
}

// One name lookup of the system resolver, held both by the request that waits for it and
// by the resolver's completion notice: a request that stops waiting leaves, and whichever
// of the two lets go last frees the lookup, so the resolver never writes to freed memory.
struct PendingLookup {
    gaicb request{};
    addrinfo hints{};
    std::string name;
    std::string service;
    std::atomic<int> holders{2};

    static void Release(PendingLookup* lookup) {
        if (lookup->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            if (lookup->request.ar_result != nullptr) {
                ::freeaddrinfo(lookup->request.ar_result);
            }
            delete lookup;
        }
    }
    static void Finished(sigval value) { Release(static_cast<PendingLookup*>(value.sival_ptr)); }
};

}  // namespace

// One open connection to a server or a proxy, plain or through TLS.
struct Connection {
    int fd = -1;
    SSL* ssl = nullptr;
    SocketEnd end;  // the TLS adapter's view of `fd`
    std::string key;  // which requests may reuse it
    ByteBuffer buffer;
    bool reused = false;

    ~Connection() {
        if (ssl != nullptr) {
            SSL_free(ssl);
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

struct HttpSession::State {
    std::wstring userAgent;
    int resolveMs = 0;
    int connectMs = 60000;
    int sendMs = 30000;
    int receiveMs = 30000;
    const std::atomic<bool>* stop = nullptr;
    SSL_CTX* tls = nullptr;
    std::unique_ptr<Connection> idle;  // one kept-alive connection for the next request

    ~State() {
        idle.reset();
        if (tls != nullptr) {
            SSL_CTX_free(tls);
        }
    }

    bool Stopped() const { return stop != nullptr && stop->load(std::memory_order_relaxed); }

    SSL_CTX* Tls() {
        if (tls == nullptr) {
            tls = SSL_CTX_new(TLS_client_method());
            if (tls != nullptr) {
                SSL_CTX_set_default_verify_paths(tls);
                // A close without TLS close-notify ends a close-delimited body like a
                // plain close; lengths and chunks still detect a cut-short body.
                SSL_CTX_set_options(tls, SSL_OP_IGNORE_UNEXPECTED_EOF);
            }
        }
        return tls;
    }

    // Waits until `fd` is ready for `events`. 0 when ready, else the error code.
    std::uint32_t Wait(int fd, short events, int limitMs) const {
        const std::uint64_t start = Platform::MonotonicMilliseconds();
        for (;;) {
            if (Stopped()) {
                return kErrorOperationCancelled;
            }
            int slice = kStopCheckMs;
            if (limitMs > 0) {
                const std::uint64_t elapsed = Platform::MonotonicMilliseconds() - start;
                if (elapsed >= static_cast<std::uint64_t>(limitMs)) {
                    return kErrorTimeout;
                }
                slice = static_cast<int>(std::min<std::uint64_t>(slice, static_cast<std::uint64_t>(limitMs) - elapsed));
            }
            pollfd entry{fd, events, 0};
            const int ready = ::poll(&entry, 1, slice);
            if (ready > 0) {
                return 0;
            }
            if (ready < 0 && errno != EINTR) {
                return kErrorConnectionError;
            }
        }
    }

    // Reads at most `size` bytes: >0 bytes read, 0 at the server's close, -1 on error.
    long Read(Connection& c, char* into, std::size_t size, std::uint32_t& error) {
        for (;;) {
            if (Stopped()) {
                error = kErrorOperationCancelled;
                return -1;
            }
            short waitFor = POLLIN;
            if (c.ssl != nullptr) {
                ERR_clear_error();
                const int got = SSL_read(c.ssl, into, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
                if (got > 0) {
                    return got;
                }
                const int reason = SSL_get_error(c.ssl, got);
                if (reason == SSL_ERROR_ZERO_RETURN) {
                    return 0;
                }
                if (reason == SSL_ERROR_WANT_WRITE) {
                    waitFor = POLLOUT;
                } else if (reason != SSL_ERROR_WANT_READ) {
                    error = kErrorConnectionError;
                    return -1;
                }
            } else {
                const ssize_t got = ::recv(c.fd, into, size, 0);
                if (got >= 0) {
                    return static_cast<long>(got);
                }
                if (errno == EINTR) {
                    continue;
                }
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    error = kErrorConnectionError;
                    return -1;
                }
            }
            error = Wait(c.fd, waitFor, receiveMs);
            if (error != 0) {
                return -1;
            }
        }
    }

    bool Write(Connection& c, const char* data, std::size_t size, std::uint32_t& error) {
        while (size > 0) {
            if (Stopped()) {
                error = kErrorOperationCancelled;
                return false;
            }
            short waitFor = POLLOUT;
            if (c.ssl != nullptr) {
                ERR_clear_error();
                const int put = SSL_write(c.ssl, data, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
                if (put > 0) {
                    data += put;
                    size -= static_cast<std::size_t>(put);
                    continue;
                }
                const int reason = SSL_get_error(c.ssl, put);
                if (reason == SSL_ERROR_WANT_READ) {
                    waitFor = POLLIN;
                } else if (reason != SSL_ERROR_WANT_WRITE) {
                    error = kErrorConnectionError;
                    return false;
                }
            } else {
                const ssize_t put = ::send(c.fd, data, size, MSG_NOSIGNAL);
                if (put >= 0) {
                    data += put;
                    size -= static_cast<std::size_t>(put);
                    continue;
                }
                if (errno == EINTR) {
                    continue;
                }
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    error = kErrorConnectionError;
                    return false;
                }
            }
            error = Wait(c.fd, waitFor, sendMs);
            if (error != 0) {
                return false;
            }
        }
        return true;
    }

    // The addresses of `host`: literal addresses at once, names through the system
    // resolver without blocking, so that a stop or the resolve time-out ends the wait even
    // when the name server does not answer. 0 or the error code.
    std::uint32_t Resolve(const std::string& host, std::uint16_t port, addrinfo*& found) const {
        const std::string service = std::to_string(port);
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICHOST;
        if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) == 0 && found != nullptr) {
            return 0;
        }
        found = nullptr;
#if PARLUMO_BLOCKING_RESOLVER
        hints.ai_flags = 0;
        if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
            found = nullptr;
            return kErrorNameNotResolved;
        }
        return 0;
#endif
        auto* lookup = new PendingLookup;
        lookup->name = host;
        lookup->service = service;
        lookup->hints.ai_family = AF_UNSPEC;
        lookup->hints.ai_socktype = SOCK_STREAM;
        lookup->request.ar_name = lookup->name.c_str();
        lookup->request.ar_service = lookup->service.c_str();
        lookup->request.ar_request = &lookup->hints;
        sigevent notice{};
        notice.sigev_notify = SIGEV_THREAD;
        notice.sigev_notify_function = &PendingLookup::Finished;
        notice.sigev_value.sival_ptr = lookup;
        gaicb* list[1] = {&lookup->request};
        if (::getaddrinfo_a(GAI_NOWAIT, list, 1, &notice) != 0) {
            delete lookup;  // never submitted: no notice will come
            return kErrorNameNotResolved;
        }
        const std::uint64_t start = Platform::MonotonicMilliseconds();
        std::uint32_t error = 0;
        for (;;) {
            const int state = ::gai_error(&lookup->request);
            if (state == 0) {
                found = lookup->request.ar_result;
                lookup->request.ar_result = nullptr;  // ours now
                error = found != nullptr ? 0 : kErrorNameNotResolved;
                break;
            }
            if (state != EAI_INPROGRESS) {
                error = kErrorNameNotResolved;
                break;
            }
            if (Stopped()) {
                error = kErrorOperationCancelled;
                break;
            }
            long slice = kStopCheckMs;
            if (resolveMs > 0) {
                const std::uint64_t elapsed = Platform::MonotonicMilliseconds() - start;
                if (elapsed >= static_cast<std::uint64_t>(resolveMs)) {
                    error = kErrorTimeout;
                    break;
                }
                slice = std::min<long>(slice, static_cast<long>(static_cast<std::uint64_t>(resolveMs) - elapsed));
            }
            const timespec wait{0, slice * 1000000L};
            const gaicb* const pending[1] = {&lookup->request};
            ::gai_suspend(pending, 1, &wait);
        }
        PendingLookup::Release(lookup);
        return error;
    }

    // A TCP connection to host:port within the connect time-out.
    std::unique_ptr<Connection> Connect(const std::wstring& host, std::uint16_t port, std::uint32_t& error) {
        addrinfo* found = nullptr;
        error = Resolve(Narrow(host), port, found);
        if (error != 0) {
            return nullptr;
        }
        const std::uint64_t start = Platform::MonotonicMilliseconds();
        error = kErrorCannotConnect;
        std::unique_ptr<Connection> connection;
        for (addrinfo* address = found; address != nullptr; address = address->ai_next) {
            const int fd = ::socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0) {
                continue;
            }
            auto candidate = std::make_unique<Connection>();
            candidate->fd = fd;
            if (::connect(fd, address->ai_addr, address->ai_addrlen) != 0) {
                if (errno != EINPROGRESS) {
                    continue;
                }
                int limit = connectMs;
                if (limit > 0) {
                    const std::uint64_t elapsed = Platform::MonotonicMilliseconds() - start;
                    if (elapsed >= static_cast<std::uint64_t>(limit)) {
                        error = kErrorTimeout;
                        break;
                    }
                    limit -= static_cast<int>(elapsed);
                }
                const std::uint32_t waited = Wait(fd, POLLOUT, limit);
                if (waited != 0) {
                    error = waited;
                    if (waited == kErrorOperationCancelled || waited == kErrorTimeout) {
                        break;
                    }
                    continue;
                }
                int failure = 0;
                socklen_t length = sizeof(failure);
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) != 0 || failure != 0) {
                    continue;
                }
            }
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
            connection = std::move(candidate);
            break;
        }
        ::freeaddrinfo(found);
        if (connection) {
            error = 0;
        }
        return connection;
    }

    // Runs the TLS handshake on `c` for `host`; checks the certificate unless told not to.
    bool StartTls(Connection& c, const std::wstring& host, bool ignoreCertificate, std::uint32_t& error) {
        SSL_CTX* context = Tls();
        if (context == nullptr || (c.ssl = SSL_new(context)) == nullptr) {
            error = kErrorSecureFailure;
            return false;
        }
        c.end.fd = c.fd;
        BIO* bio = BIO_new(SocketAdapter());
        if (SocketAdapter() == nullptr || bio == nullptr) {
            error = kErrorSecureFailure;
            return false;
        }
        BIO_set_data(bio, &c.end);
        SSL_set_bio(c.ssl, bio, bio);
        const std::string name = Narrow(host);
        if (!IsIpLiteral(name)) {
            SSL_set_tlsext_host_name(c.ssl, name.c_str());
        }
        if (ignoreCertificate) {
            SSL_set_verify(c.ssl, SSL_VERIFY_NONE, nullptr);
        } else {
            SSL_set_verify(c.ssl, SSL_VERIFY_PEER, nullptr);
            if (IsIpLiteral(name)) {
                X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(c.ssl), name.c_str());
            } else {
                SSL_set1_host(c.ssl, name.c_str());
            }
        }
        for (;;) {
            ERR_clear_error();
            const int result = SSL_connect(c.ssl);
            if (result == 1) {
                return true;
            }
            const int reason = SSL_get_error(c.ssl, result);
            short waitFor = 0;
            if (reason == SSL_ERROR_WANT_READ) {
                waitFor = POLLIN;
            } else if (reason == SSL_ERROR_WANT_WRITE) {
                waitFor = POLLOUT;
            } else {
                error = kErrorSecureFailure;
                return false;
            }
            const std::uint32_t waited = Wait(c.fd, waitFor, receiveMs);
            if (waited != 0) {
                error = waited;
                return false;
            }
        }
    }
};

HttpSession::HttpSession(std::wstring userAgent) : state_(std::make_unique<State>()) {
    state_->userAgent = std::move(userAgent);
}

HttpSession::~HttpSession() = default;

void HttpSession::SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs) {
    state_->resolveMs = resolveMs;
    state_->connectMs = connectMs;
    state_->sendMs = sendMs;
    state_->receiveMs = receiveMs;
}

void HttpSession::SetStopFlag(const std::atomic<bool>* stop) { state_->stop = stop; }

bool CrackUrl(const std::wstring& url, UrlComponents& parts, std::uint32_t& error) {
    parts = UrlComponents();
    const std::size_t schemeEnd = url.find(L"://");
    if (schemeEnd == std::wstring::npos || schemeEnd == 0) {
        error = kErrorInvalidUrl;
        return false;
    }
    std::wstring scheme = url.substr(0, schemeEnd);
    for (wchar_t& c : scheme) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    if (scheme != L"http" && scheme != L"https") {
        error = kErrorUnrecognizedScheme;
        return false;
    }
    parts.scheme = scheme;
    parts.secure = scheme == L"https";
    const std::size_t authorityStart = schemeEnd + 3;
    std::size_t authorityEnd = url.find_first_of(L"/?#", authorityStart);
    if (authorityEnd == std::wstring::npos) {
        authorityEnd = url.size();
    }
    std::wstring authority = url.substr(authorityStart, authorityEnd - authorityStart);
    const std::size_t at = authority.rfind(L'@');
    if (at != std::wstring::npos) {
        authority.erase(0, at + 1);  // user name and password are never sent
    }
    std::wstring host;
    std::wstring port;
    if (!authority.empty() && authority[0] == L'[') {
        const std::size_t close = authority.find(L']');
        if (close == std::wstring::npos) {
            error = kErrorInvalidUrl;
            return false;
        }
        host = authority.substr(1, close - 1);
        const std::wstring rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != L':') {
                error = kErrorInvalidUrl;
                return false;
            }
            port = rest.substr(1);
        }
    } else {
        const std::size_t colon = authority.rfind(L':');
        host = authority.substr(0, colon);
        if (colon != std::wstring::npos) {
            port = authority.substr(colon + 1);
        }
    }
    if (host.empty()) {
        error = kErrorInvalidUrl;
        return false;
    }
    for (wchar_t c : host) {
        if (c <= 0x20 || c == 0x7F || c == L'/' || c == L'\\') {
            error = kErrorInvalidUrl;
            return false;
        }
    }
    parts.host = host;
    parts.port = parts.secure ? 443 : 80;
    if (!port.empty()) {
        std::uint64_t value = 0;
        if (!ParseDecimal(Narrow(port), value) || value == 0 || value > 65535) {
            error = kErrorInvalidUrl;
            return false;
        }
        parts.port = static_cast<std::uint16_t>(value);
    }
    std::wstring path = url.substr(authorityEnd);
    const std::size_t hash = path.find(L'#');
    if (hash != std::wstring::npos) {
        path.erase(hash);  // a fragment never goes on the wire
    }
    if (path.empty() || path[0] != L'/') {
        path.insert(0, L"/");
    }
    parts.path = path;
    error = 0;
    return true;
}

namespace {

std::wstring ComposeUrl(const UrlComponents& target) {
    std::wstring url = target.scheme + L"://";
    if (target.host.find(L':') != std::wstring::npos) {
        url += L"[" + target.host + L"]";
    } else {
        url += target.host;
    }
    if (target.port != (target.secure ? 443 : 80)) {
        url += L":" + std::to_wstring(target.port);
    }
    return url + target.path;
}

// The redirect target of `location` seen from `current`.
bool ResolveLocation(const UrlComponents& current, const std::wstring& location, UrlComponents& next,
                     std::uint32_t& error) {
    if (location.find(L"://") != std::wstring::npos) {
        return CrackUrl(location, next, error);
    }
    std::wstring absolute;
    if (location.rfind(L"//", 0) == 0) {
        absolute = current.scheme + L":" + location;
    } else {
        UrlComponents base = current;
        if (!location.empty() && location[0] == L'/') {
            base.path = location;
        } else {
            std::wstring directory = base.path.substr(0, base.path.find(L'?'));
            directory.erase(directory.rfind(L'/') + 1);
            base.path = directory + location;
        }
        absolute = ComposeUrl(base);
    }
    return CrackUrl(absolute, next, error);
}

enum class Framing { None, Length, Chunked, UntilClose };
enum class ChunkState { Size, Data, DataEnd, Trailer, Done };

}  // namespace

struct HttpRequest::State {
    HttpSession::State& session;
    UrlComponents original;
    UrlComponents current;
    std::wstring originalVerb;
    std::string verb;
    bool ignoreCertificate = false;
    ProxyServer proxy;
    std::uint32_t lastError = 0;

    std::unique_ptr<Connection> connection;
    bool sent = false;
    bool headersRead = false;
    int redirects = 0;

    std::wstring rawHeaders;
    int status = 0;
    bool keepAlive = false;
    Framing framing = Framing::None;
    std::uint64_t remaining = 0;  // Length: body bytes still to come; Chunked: of this chunk
    ChunkState chunk = ChunkState::Size;
    bool bodyDone = false;

    State(HttpSession::State& s, const UrlComponents& target, std::wstring v)
        : session(s), original(target), current(target), originalVerb(std::move(v)) {}

    bool Fail(std::uint32_t error) {
        lastError = error;
        connection.reset();
        return false;
    }

    std::string ConnectionKey() const {
        return Narrow(current.scheme + L"://" + current.host + L":" + std::to_wstring(current.port) + L"|" +
                      proxy.host + L":" + std::to_wstring(proxy.port)) +
               (ignoreCertificate ? "|any" : "|checked");
    }

    // A fresh connection to the current target, through the proxy when one is set.
    bool Open() {
        std::uint32_t error = 0;
        const bool viaProxy = proxy.IsSet();
        connection = session.Connect(viaProxy ? proxy.host : current.host, viaProxy ? proxy.port : current.port, error);
        if (!connection) {
            return Fail(error);
        }
        connection->key = ConnectionKey();
        if (current.secure) {
            if (viaProxy && !OpenTunnel()) {
                return false;
            }
            if (!session.StartTls(*connection, current.host, ignoreCertificate, error)) {
                return Fail(error);
            }
        }
        return true;
    }

    // Asks the proxy for a tunnel to the current target (HTTPS through a proxy).
    bool OpenTunnel() {
        const std::string authority = Narrow(current.host.find(L':') != std::wstring::npos
                                                 ? L"[" + current.host + L"]"
                                                 : current.host) +
                                      ":" + std::to_string(current.port);
        const std::string request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority +
                                    "\r\nUser-Agent: " + Narrow(session.userAgent) + "\r\n\r\n";
        std::uint32_t error = 0;
        if (!session.Write(*connection, request.data(), request.size(), error)) {
            return Fail(error);
        }
        std::string head;
        if (!ReadHead(head, error)) {
            return Fail(error == 0 ? kErrorCannotConnect : error);
        }
        if (head.size() < 12 || head.compare(0, 5, "HTTP/") != 0 || head.compare(9, 3, "200") != 0 ||
            connection->buffer.Size() != 0) {
            return Fail(kErrorCannotConnect);
        }
        return true;
    }

    bool WriteRequest(std::uint32_t& error) {
        std::string target = WirePath(current.path);
        if (proxy.IsSet() && !current.secure) {
            target = Narrow(current.scheme) + "://" + HostForHeader(current) + target;
        }
        std::string request = verb + " " + target + " HTTP/1.1\r\n";
        request += "Host: " + HostForHeader(current) + "\r\n";
        request += "User-Agent: " + WirePath(session.userAgent) + "\r\n";
        request += "Connection: Keep-Alive\r\n";
        if (verb == "POST") {
            request += "Content-Length: 0\r\n";
        }
        request += "\r\n";
        return session.Write(*connection, request.data(), request.size(), error);
    }

    // Sends the request for `current`, on the session's idle connection when it fits.
    bool SendCurrent() {
        ResetResponse();
        connection.reset();
        if (session.idle && session.idle->key == ConnectionKey()) {
            connection = std::move(session.idle);
            connection->reused = true;
            std::uint32_t error = 0;
            if (WriteRequest(error)) {
                return true;
            }
            connection.reset();  // the server closed it meanwhile; open a new one
        }
        session.idle.reset();
        if (!Open()) {
            return false;
        }
        std::uint32_t error = 0;
        if (!WriteRequest(error)) {
            return Fail(error);
        }
        return true;
    }

    void ResetResponse() {
        rawHeaders.clear();
        status = 0;
        keepAlive = false;
        framing = Framing::None;
        remaining = 0;
        chunk = ChunkState::Size;
        bodyDone = false;
        headersRead = false;
    }

    // Reads more bytes into the connection's buffer. False with `error` 0 at the
    // server's close, else with the error.
    bool Fill(std::uint32_t& error) {
        char* into = connection->buffer.Reserve(kReadChunk);
        const long got = session.Read(*connection, into, kReadChunk, error);
        if (got <= 0) {
            if (got == 0) {
                error = 0;
            }
            return false;
        }
        connection->buffer.Commit(static_cast<std::size_t>(got));
        return true;
    }

    // Reads one response head (up to and including its empty line). False with `error`
    // 0 when the server closed before sending anything.
    bool ReadHead(std::string& head, std::uint32_t& error) {
        std::size_t searched = 0;
        for (;;) {
            const ByteBuffer& buffer = connection->buffer;
            const std::string_view view(buffer.Data(), buffer.Size());
            std::size_t end = std::string_view::npos;
            std::size_t length = 0;
            for (std::size_t k = searched; k < view.size(); ++k) {
                if (view[k] != '\n') {
                    continue;
                }
                if (k + 1 < view.size() && view[k + 1] == '\n') {
                    end = k;
                    length = k + 2;
                    break;
                }
                if (k + 2 < view.size() && view[k + 1] == '\r' && view[k + 2] == '\n') {
                    end = k;
                    length = k + 3;
                    break;
                }
            }
            if (end != std::string_view::npos) {
                head.assign(view.substr(0, length));
                connection->buffer.Consume(length);
                return true;
            }
            searched = view.size() > 2 ? view.size() - 2 : 0;
            if (view.size() > kMaxHeadBytes) {
                error = kErrorInvalidServerResponse;
                return false;
            }
            const bool empty = view.empty();
            if (!Fill(error)) {
                if (error == 0 && !empty) {
                    error = kErrorInvalidServerResponse;
                }
                return false;
            }
        }
    }

    // Parses one head; false when it is not an HTTP response.
    bool ParseHead(const std::string& head, std::wstring& location) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < head.size()) {
            std::size_t end = head.find('\n', start);
            if (end == std::string::npos) {
                end = head.size();
            }
            std::string line = head.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            start = end + 1;
            if (line.empty()) {
                break;
            }
            lines.push_back(line);
        }
        if (lines.empty()) {
            return false;
        }
        const std::string& statusLine = lines[0];
        if (statusLine.size() < 12 || statusLine.compare(0, 5, "HTTP/") != 0 || statusLine[8] != ' ') {
            return false;
        }
        std::uint64_t code = 0;
        if (!ParseDecimal(statusLine.substr(9, 3), code) || code < 100 || code > 999 ||
            (statusLine.size() > 12 && statusLine[12] != ' ')) {
            return false;
        }
        status = static_cast<int>(code);
        const bool http10 = statusLine.compare(5, 3, "1.0") == 0;
        keepAlive = !http10;
        bool chunked = false;
        bool haveLength = false;
        std::uint64_t length = 0;
        rawHeaders = WidenBytes(statusLine) + L"\r\n";
        for (std::size_t k = 1; k < lines.size(); ++k) {
            rawHeaders += WidenBytes(lines[k]) + L"\r\n";
            const std::size_t colon = lines[k].find(':');
            if (colon == std::string::npos) {
                continue;
            }
            const std::string name = Lower(TrimBlank(lines[k].substr(0, colon)));
            const std::string value = TrimBlank(lines[k].substr(colon + 1));
            if (name == "content-length") {
                std::uint64_t parsed = 0;
                if (!ParseDecimal(value, parsed) || (haveLength && parsed != length)) {
                    return false;  // a body whose end cannot be told
                }
                haveLength = true;
                length = parsed;
            } else if (name == "transfer-encoding") {
                const std::string encoding = Lower(value);
                chunked = encoding.size() >= 7 && encoding.compare(encoding.size() - 7, 7, "chunked") == 0;
            } else if (name == "connection") {
                const std::string token = Lower(value);
                if (token.find("close") != std::string::npos) {
                    keepAlive = false;
                } else if (token.find("keep-alive") != std::string::npos) {
                    keepAlive = true;
                }
            } else if (name == "location") {
                location = Platform::Utf8ToWide(value);
            }
        }
        rawHeaders += L"\r\n";
        if (verb == "HEAD" || status < 200 || status == 204 || status == 304) {
            framing = Framing::None;
        } else if (chunked) {
            framing = Framing::Chunked;
        } else if (haveLength) {
            framing = Framing::Length;
            remaining = length;
        } else {
            framing = Framing::UntilClose;
            keepAlive = false;
        }
        bodyDone = framing == Framing::None || (framing == Framing::Length && remaining == 0);
        return true;
    }

    bool Receive() {
        if (!connection) {
            return Fail(kErrorIncorrectHandleState);
        }
        bool retriedStale = false;
        for (;;) {
            std::string head;
            std::uint32_t error = 0;
            if (!ReadHead(head, error)) {
                // A kept-alive connection the server had closed: ask once more on a new one.
                const bool nothingCame = connection && connection->buffer.Size() == 0 &&
                                         (error == 0 || error == kErrorConnectionError);
                if (nothingCame && connection->reused && !retriedStale) {
                    retriedStale = true;
                    session.idle.reset();
                    connection.reset();
                    if (!Open() || !WriteRequest(error)) {
                        return connection ? Fail(error) : false;
                    }
                    continue;
                }
                return Fail(error == 0 ? kErrorConnectionError : error);
            }
            std::wstring location;
            ResetResponse();
            if (!ParseHead(head, location)) {
                return Fail(kErrorInvalidServerResponse);
            }
            if (status >= 100 && status < 200) {
                continue;  // an interim response; the real one follows
            }
            headersRead = true;
            const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
            if (!redirect || location.empty()) {
                return true;
            }
            if (redirects >= kMaxRedirects) {
                return Fail(kErrorRedirectFailed);
            }
            UrlComponents next;
            if (!ResolveLocation(current, location, next, error)) {
                return Fail(kErrorRedirectFailed);
            }
            if (current.secure && !next.secure) {
                return Fail(kErrorRedirectFailed);  // never downgrade to plain text
            }
            if (!Drain()) {
                return false;
            }
            if (status == 303 || ((status == 301 || status == 302) && verb == "POST")) {
                verb = "GET";
            }
            ++redirects;
            current = next;
            if (!SendCurrent()) {
                return false;
            }
            retriedStale = false;
        }
    }

    // Reads and drops a small redirect body so the connection can be reused.
    bool Drain() {
        std::uint64_t dropped = 0;
        while (!bodyDone && dropped <= kMaxDrainBytes) {
            std::size_t available = 0;
            if (!Available(available)) {
                return false;
            }
            if (available == 0) {
                break;
            }
            Consume(available);
            dropped += available;
        }
        if (!bodyDone) {
            connection.reset();
        } else {
            Release();
        }
        return true;
    }

    // Hands a connection whose response is complete to the session for the next request.
    void Release() {
        if (connection && bodyDone && keepAlive && connection->buffer.Size() == 0 && !session.Stopped()) {
            connection->reused = false;
            session.idle = std::move(connection);
        }
        connection.reset();
    }

    // Decoded body bytes ready at the front of the buffer; reads the network when none are.
    bool Available(std::size_t& available) {
        available = 0;
        for (;;) {
            if (bodyDone) {
                return true;
            }
            if (!connection) {
                return Fail(kErrorIncorrectHandleState);
            }
            ByteBuffer& buffer = connection->buffer;
            const std::size_t have = buffer.Size();
            std::uint32_t error = 0;
            switch (framing) {
                case Framing::None:
                    bodyDone = true;
                    return true;
                case Framing::Length:
                    if (have > 0) {
                        available = static_cast<std::size_t>(std::min<std::uint64_t>(have, remaining));
                        return true;
                    }
                    break;
                case Framing::UntilClose:
                    if (have > 0) {
                        available = have;
                        return true;
                    }
                    if (!Fill(error)) {
                        if (error != 0) {
                            return Fail(error);
                        }
                        bodyDone = true;
                        connection.reset();
                        return true;
                    }
                    continue;
                case Framing::Chunked: {
                    const std::string_view view(buffer.Data(), have);
                    if (chunk == ChunkState::Data) {
                        if (have > 0) {
                            available = static_cast<std::size_t>(std::min<std::uint64_t>(have, remaining));
                            return true;
                        }
                        break;
                    }
                    if (chunk == ChunkState::DataEnd) {
                        if (have >= 1 && view[0] == '\n') {
                            buffer.Consume(1);
                            chunk = ChunkState::Size;
                            continue;
                        }
                        if (have >= 2) {
                            if (view[0] != '\r' || view[1] != '\n') {
                                return Fail(kErrorInvalidServerResponse);
                            }
                            buffer.Consume(2);
                            chunk = ChunkState::Size;
                            continue;
                        }
                        break;
                    }
                    const std::size_t lineEnd = view.find('\n');
                    if (lineEnd == std::string_view::npos) {
                        if (have > kMaxChunkLine) {
                            return Fail(kErrorInvalidServerResponse);
                        }
                        break;
                    }
                    std::string line(view.substr(0, lineEnd));
                    buffer.Consume(lineEnd + 1);
                    if (!line.empty() && line.back() == '\r') {
                        line.pop_back();
                    }
                    if (chunk == ChunkState::Trailer) {
                        if (line.empty()) {
                            chunk = ChunkState::Done;
                            bodyDone = true;
                            return true;
                        }
                        continue;
                    }
                    // Chunk size: hexadecimal, optionally followed by extensions.
                    const std::size_t stop = line.find_first_of("; \t");
                    const std::string digits = line.substr(0, stop);
                    if (digits.empty() || digits.size() > 15) {
                        return Fail(kErrorInvalidServerResponse);
                    }
                    std::uint64_t size = 0;
                    for (char c : digits) {
                        int digit = -1;
                        if (c >= '0' && c <= '9') {
                            digit = c - '0';
                        } else if (c >= 'a' && c <= 'f') {
                            digit = c - 'a' + 10;
                        } else if (c >= 'A' && c <= 'F') {
                            digit = c - 'A' + 10;
                        }
                        if (digit < 0) {
                            return Fail(kErrorInvalidServerResponse);
                        }
                        size = size * 16 + static_cast<std::uint64_t>(digit);
                    }
                    if (size == 0) {
                        chunk = ChunkState::Trailer;
                    } else {
                        chunk = ChunkState::Data;
                        remaining = size;
                    }
                    continue;
                }
            }
            // More bytes are needed; the body must not end here.
            if (!Fill(error)) {
                return Fail(error == 0 ? kErrorConnectionError : error);
            }
        }
    }

    void Consume(std::size_t count) {
        connection->buffer.Consume(count);
        if (framing == Framing::Length) {
            remaining -= count;
            bodyDone = remaining == 0;
        } else if (framing == Framing::Chunked) {
            remaining -= count;
            if (remaining == 0) {
                chunk = ChunkState::DataEnd;
            }
        }
    }
};

HttpRequest::HttpRequest(HttpSession& session, const UrlComponents& target, std::wstring verb)
    : state_(std::make_unique<State>(session.state(), target, std::move(verb))) {}

HttpRequest::~HttpRequest() {
    if (state_->connection && state_->headersRead) {
        state_->Release();
    }
}

void HttpRequest::SetIgnoreCertificateErrors(bool ignore) { state_->ignoreCertificate = ignore; }

void HttpRequest::SetProxy(const ProxyServer& proxy) { state_->proxy = proxy; }

bool HttpRequest::Send() {
    State& s = *state_;
    if (s.session.Stopped()) {
        return s.Fail(kErrorOperationCancelled);
    }
    s.current = s.original;
    s.verb = Narrow(s.originalVerb);
    s.redirects = 0;
    s.sent = s.SendCurrent();
    return s.sent;
}

bool HttpRequest::ReceiveResponse() {
    State& s = *state_;
    if (!s.sent) {
        return s.Fail(kErrorIncorrectHandleState);
    }
    s.sent = false;
    return s.Receive();
}

const std::wstring& HttpRequest::RawHeaders() const { return state_->rawHeaders; }

std::wstring HttpRequest::StatusCode() const {
    return state_->status == 0 ? std::wstring() : std::to_wstring(state_->status);
}

std::wstring HttpRequest::FinalUrl() const { return ComposeUrl(state_->current); }

bool HttpRequest::QueryDataAvailable(std::size_t& available) {
    State& s = *state_;
    available = 0;
    if (!s.headersRead) {
        return s.Fail(kErrorIncorrectHandleState);
    }
    if (!s.Available(available)) {
        return false;
    }
    if (available == 0) {
        s.Release();
    }
    return true;
}

bool HttpRequest::ReadData(void* buffer, std::size_t size, std::size_t& read) {
    State& s = *state_;
    read = 0;
    if (!s.headersRead) {
        return s.Fail(kErrorIncorrectHandleState);
    }
    if (size == 0) {
        return true;
    }
    std::size_t available = 0;
    if (!s.Available(available)) {
        return false;
    }
    if (available == 0) {
        s.Release();
        return true;
    }
    read = std::min(available, size);
    std::memcpy(buffer, s.connection->buffer.Data(), read);
    s.Consume(read);
    if (s.bodyDone) {
        s.Release();
    }
    return true;
}

std::uint32_t HttpRequest::LastError() const { return state_->lastError; }

}  // namespace Http
