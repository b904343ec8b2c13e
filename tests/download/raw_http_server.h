#pragma once
// A scripted HTTP server on 127.0.0.1 that answers with exact bytes: the framings,
// malformed heads, cut-short bodies, silent servers and proxies that a well-behaved
// library server cannot produce. Optionally speaks TLS with a self-signed certificate
// made at construction.
//
// Each accepted connection runs on a thread of the server; the server joins them all
// when it is destroyed. The handler runs on those threads; Requests() and Connections()
// may be called from any thread.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class RawHttpServer {
public:
    struct Reply {
        enum class After {
            KeepOpen,  // wait for the next request on this connection
            Close,     // close the connection after sending
            Hang,      // send, then keep the connection open without reading or answering
        };
        std::string bytes;
        After after = After::KeepOpen;
    };
    // Given the request head (up to and including its empty line) and the request's
    // number (0 for the first request the server saw).
    using Handler = std::function<Reply(const std::string& head, int index)>;

    enum class Security {
        Plain,
        Tls,         // a self-signed certificate no authority knows
        TrustedTls,  // a certificate for 127.0.0.1 and localhost from a test authority (CaFile())
        OtherName,   // from the same test authority, but for "other.test" only
    };

    explicit RawHttpServer(Handler handler, Security security = Security::Plain);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    int Port() const { return port_; }
    std::string Url(const std::string& path) const;  // "http(s)://127.0.0.1:<port>" + path

    // The test authority's certificate (PEM) for the Trusted and OtherName kinds.
    std::string CaFile() const;

    std::vector<std::string> Requests();  // every request head, in arrival order
    int Connections() const { return connections_.load(); }

    // Plain response helpers.
    static std::string Response(int status, const std::string& headers, const std::string& body);
    static std::string Chunked(const std::vector<std::string>& pieces, const std::string& extraHeaders = "");

    // A port on 127.0.0.1 that nothing listens on (connections are refused).
    static int ClosedPort();

private:
    struct Tls;
    void AcceptLoop();
    void Serve(int fd);

    Handler handler_;
    std::unique_ptr<Tls> tls_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::thread acceptor_;

    // Guards requests_, open_, workers_ and stopping_.
    std::mutex mutex_;
    std::condition_variable stopped_;  // notified when stopping_ is set
    std::vector<std::string> requests_;
    std::vector<int> open_;  // sockets of live connections, shut down at destruction
    std::vector<std::thread> workers_;
    bool stopping_ = false;
};
