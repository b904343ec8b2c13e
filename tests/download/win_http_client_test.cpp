#include "download/win_http_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "download/http_connection.h"
#include "download/http_proxy.h"
#include "downloader_test_support.h"  // clears the proxy settings of the environment
#include "platform/text_encoding.h"
#include "raw_http_server.h"
#include "test_support.h"

namespace {

using Reply = RawHttpServer::Reply;

std::wstring Wide(const std::string& text) { return Platform::Utf8ToWide(text); }

// Bytes that differ at every offset, larger than any buffer of the layer.
std::string LargeBody(std::size_t size = 3 * 1024 * 1024 + 17) {
    std::string body(size, '\0');
    std::uint32_t state = 12345;
    for (char& c : body) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    return body;
}

std::string BodyOf(const WinHttpClient& client) {
    return std::string(client.responseBody.begin(), client.responseBody.end());
}

// Serves the same reply to every request.
RawHttpServer::Handler Always(std::string bytes, Reply::After after = Reply::After::KeepOpen) {
    return [bytes, after](const std::string&, int) { return Reply{bytes, after}; };
}

// A proxy that opens one CONNECT tunnel and relays bytes both ways until either side
// closes. Runs on its own thread, joined at destruction.
class TunnelProxy {
public:
    TunnelProxy() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::listen(listener_, 4);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        relay_ = std::thread([this] { Relay(); });
    }
    ~TunnelProxy() {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        relay_.join();
        ::close(listener_);
    }
    int Port() const { return port_; }
    std::string ConnectLine() {
        std::lock_guard<std::mutex> lock(mutex_);
        return connectLine_;
    }

private:
    void Relay() {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            return;
        }
        std::string head;
        char byte;
        while (head.find("\r\n\r\n") == std::string::npos && ::recv(client, &byte, 1, 0) == 1) {
            head.push_back(byte);
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            connectLine_ = head.substr(0, head.find("\r\n"));
        }
        const int port = std::atoi(head.c_str() + head.find(':') + 1);
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            const std::string ok = "HTTP/1.1 200 Connection established\r\n\r\n";
            ::send(client, ok.data(), ok.size(), MSG_NOSIGNAL);
            pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            char buffer[16384];
            while (!stop_) {
                if (::poll(ends, 2, 50) <= 0) {
                    continue;
                }
                bool closed = false;
                for (int k = 0; k < 2; ++k) {
                    if (ends[k].revents == 0) {
                        continue;
                    }
                    const ssize_t got = ::recv(ends[k].fd, buffer, sizeof(buffer), 0);
                    if (got <= 0 || ::send(ends[1 - k].fd, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL) != got) {
                        closed = true;
                    }
                }
                if (closed) {
                    break;
                }
            }
        }
        ::close(server);
        ::close(client);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;  // guards connectLine_
    std::string connectLine_;
    std::thread relay_;
};

}  // namespace

// Every way a body can be framed arrives whole and unchanged.
TEST(WinHttpClient, ReadsEveryBodyFraming) {
    const std::string big = LargeBody();
    struct Case {
        const char* name;
        std::string reply;
        Reply::After after;
        std::string body;
        const wchar_t* status;
    };
    const Case cases[] = {
        {"content-length", RawHttpServer::Response(200, "", "hello"), Reply::After::KeepOpen, "hello", L"200"},
        {"large content-length", RawHttpServer::Response(200, "", big), Reply::After::KeepOpen, big, L"200"},
        {"chunked", RawHttpServer::Chunked({"he", "llo", " world"}), Reply::After::KeepOpen, "hello world", L"200"},
        {"chunked with extensions and trailer",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;name=v\r\nhello\r\n0\r\nX-Sum: 1\r\n\r\n",
         Reply::After::KeepOpen, "hello", L"200"},
        {"close-delimited", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nuntil the end", Reply::After::Close,
         "until the end", L"200"},
        {"HTTP/1.0 close-delimited", "HTTP/1.0 200 OK\r\n\r\nold server", Reply::After::Close, "old server", L"200"},
        {"empty", RawHttpServer::Response(200, "", ""), Reply::After::KeepOpen, "", L"200"},
        {"no content", "HTTP/1.1 204 No Content\r\n\r\n", Reply::After::KeepOpen, "", L"204"},
        {"interim response first", "HTTP/1.1 100 Continue\r\n\r\n" + RawHttpServer::Response(200, "", "after"),
         Reply::After::KeepOpen, "after", L"200"},
        {"bare line feeds", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", Reply::After::KeepOpen, "ok", L"200"},
    };
    for (const Case& c : cases) {
        RawHttpServer server(Always(c.reply, c.after));
        WinHttpClient client(Wide(server.Url("/file")));
        EXPECT_TRUE(client.Request(L"GET")) << c.name << " error " << client.lastError;
        EXPECT_EQ(BodyOf(client), c.body) << c.name;
        EXPECT_EQ(client.statusCode, c.status) << c.name;
        EXPECT_EQ(server.Requests().size(), 1u) << c.name;
    }
}

// A body cut short fails the attempt instead of being taken as complete; the client then
// tries twice more, and a body that never arrives whole fails the request.
TEST(WinHttpClient, BodyCutShortIsAFailure) {
    struct Case {
        const char* name;
        std::string reply;
        std::uint32_t error;
    };
    const Case cases[] = {
        {"fewer bytes than announced", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly a part",
         Http::kErrorConnectionError},
        {"chunked without its last chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n",
         Http::kErrorConnectionError},
        {"chunk shorter than its size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n50\r\nhello",
         Http::kErrorConnectionError},
        {"bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n0\r\n\r\n",
         Http::kErrorInvalidServerResponse},
        {"not HTTP", "SSH-2.0-OpenSSH\r\n\r\n", Http::kErrorInvalidServerResponse},
        {"two different lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc",
         Http::kErrorInvalidServerResponse},
        {"length not a number", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nabc", Http::kErrorInvalidServerResponse},
        {"closed without a response", "", Http::kErrorConnectionError},
    };
    for (const Case& c : cases) {
        RawHttpServer server(Always(c.reply, Reply::After::Close));
        WinHttpClient client(Wide(server.Url("/file")));
        EXPECT_FALSE(client.Request(L"GET")) << c.name;
        EXPECT_EQ(client.lastError, c.error) << c.name;
        EXPECT_EQ(server.Requests().size(), 3u) << c.name;
    }
}

// A head that never ends is refused after a bounded amount, not buffered forever.
TEST(WinHttpClient, EndlessHeadIsRefused) {
    RawHttpServer server(Always("HTTP/1.1 200 OK\r\nX-Filler: " + std::string(200000, 'x'), Reply::After::Hang));
    WinHttpClient client(Wide(server.Url("/file")));
    EXPECT_FALSE(client.Request(L"GET"));
    EXPECT_EQ(client.lastError, Http::kErrorInvalidServerResponse);
}

// The extractions made from every response head.
TEST(WinHttpClient, PicksHeadersOutOfTheResponse) {
    RawHttpServer server(Always(
        "HTTP/1.1 200 OK\r\n"
        "content-length: 6\r\n"
        "Content-Type: text/plain; charset=utf-8\r\n"
        "Set-Cookie: a=1\r\n"
        "Set-Cookie: b=2\r\n"
        "Location: http://127.0.0.1/elsewhere\r\n"
        "\r\n"
        "h\xc3\xa9llo"));
    WinHttpClient client(Wide(server.Url("/file")));
    ASSERT_TRUE(client.Request(L"get")) << client.lastError;
    EXPECT_EQ(client.contentLength, 6u);
    EXPECT_EQ(client.responseLength, 6u);
    EXPECT_EQ(client.charset, L"utf-8");
    EXPECT_EQ(client.responseCookies, L"a=1; b=2;");
    EXPECT_EQ(client.location, L"http://127.0.0.1/elsewhere\r\n");
    EXPECT_EQ(client.hostName, L"127.0.0.1");
    EXPECT_EQ(client.responseText, L"h\u00e9llo");
    EXPECT_EQ(client.responseHeaders.rfind(L"HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_EQ(client.responseHeaders.substr(client.responseHeaders.size() - 4), L"\r\n\r\n");
    const std::string request = server.Requests().at(0);
    EXPECT_EQ(request.rfind("GET /file HTTP/1.1\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nUser-Agent: WinHttpClient\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"), std::string::npos);
}

TEST(WinHttpClient, RefusesMissingAddressAndOtherVerbs) {
    WinHttpClient empty(L"");
    EXPECT_FALSE(empty.Request(L"GET"));
    EXPECT_EQ(empty.lastError, WinHttpClient::kErrorNoAddress);

    RawHttpServer server(Always(RawHttpServer::Response(200, "", "posted")));
    for (const wchar_t* verb : {L"PUT", L"DELETE", L"", L"GETX"}) {
        WinHttpClient client(Wide(server.Url("/")));
        EXPECT_FALSE(client.Request(verb));
        EXPECT_EQ(client.lastError, WinHttpClient::kErrorBadVerb);
    }
    EXPECT_TRUE(server.Requests().empty());

    WinHttpClient post(Wide(server.Url("/form")));
    ASSERT_TRUE(post.Request(L"Post"));
    EXPECT_EQ(server.Requests().at(0).rfind("POST /form HTTP/1.1\r\n", 0), 0u);
    EXPECT_NE(server.Requests().at(0).find("Content-Length: 0\r\n"), std::string::npos);

    const struct {
        const wchar_t* url;
        std::uint32_t error;
    } bad[] = {
        {L"ftp://127.0.0.1/file", Http::kErrorUnrecognizedScheme},
        {L"no address at all", Http::kErrorInvalidUrl},
        {L"http:///path", Http::kErrorInvalidUrl},
        {L"http://127.0.0.1:99999/", Http::kErrorInvalidUrl},
        {L"http://127.0.0.1:x/", Http::kErrorInvalidUrl},
    };
    for (const auto& b : bad) {
        WinHttpClient client(b.url);
        EXPECT_FALSE(client.Request(L"GET")) << testing::PrintToString(std::wstring(b.url));
        EXPECT_EQ(client.lastError, b.error) << testing::PrintToString(std::wstring(b.url));
    }
    WinHttpClient longPath(Wide(server.Url("/" + std::string(1400, 'a'))));
    EXPECT_FALSE(longPath.Request(L"GET"));
    EXPECT_EQ(longPath.lastError, WinHttpClient::kErrorAddressTooLong);
}

// Characters that would break the request line are sent escaped.
TEST(WinHttpClient, EscapesTheRequestTarget) {
    RawHttpServer server(Always(RawHttpServer::Response(200, "", "x")));
    WinHttpClient client(Wide(server.Url("/a b\r\nX-Injected: 1/\xe5\x8c\x85.exe?q=1#fragment")));
    ASSERT_TRUE(client.Request(L"GET"));
    EXPECT_EQ(server.Requests().at(0).rfind("GET /a%20b%0D%0AX-Injected:%201/%E5%8C%85.exe?q=1 HTTP/1.1\r\n", 0), 0u)
        << server.Requests().at(0);
}

// A page that opens <html> in any letter case and never closes it counts as truncated:
// sent three times (over one kept-alive connection), then failed with 13.
TEST(WinHttpClient, TruncatedHtmlPageIsAskedThreeTimes) {
    RawHttpServer server(Always(RawHttpServer::Response(200, "", "<HTML><body>cut")));
    WinHttpClient client(Wide(server.Url("/page")));
    EXPECT_FALSE(client.Request(L"GET"));
    EXPECT_EQ(client.lastError, WinHttpClient::kErrorTruncatedPage);
    EXPECT_EQ(server.Requests().size(), 3u);
    EXPECT_EQ(server.Connections(), 1);

    // A server that closes its kept-alive connection after each answer: the client notices
    // the stale connection and asks again on a new one, so each attempt still gets its page.
    RawHttpServer closing(Always(RawHttpServer::Response(200, "", "<HTML><body>cut"), Reply::After::Close));
    WinHttpClient again(Wide(closing.Url("/page")));
    EXPECT_FALSE(again.Request(L"GET"));
    EXPECT_EQ(again.lastError, WinHttpClient::kErrorTruncatedPage);
    EXPECT_EQ(closing.Requests().size(), 3u);
    EXPECT_EQ(closing.Connections(), 3);

    RawHttpServer whole(Always(RawHttpServer::Response(200, "", "<html><body>all</BODY></Html>")));
    WinHttpClient complete(Wide(whole.Url("/page")));
    EXPECT_TRUE(complete.Request(L"GET"));
    EXPECT_EQ(whole.Requests().size(), 1u);
}

// Redirects are followed to the end of the chain, over the same connection when the host
// stays; loops and downgrades from HTTPS fail.
TEST(WinHttpClient, FollowsRedirectsWithinLimits) {
    RawHttpServer server([](const std::string& head, int) {
        const std::size_t hop = head.find("GET /hop/");
        if (hop == 0) {
            const int n = std::atoi(head.c_str() + 9);
            const std::string next = n > 1 ? "/hop/" + std::to_string(n - 1) : "/0123456789abcdef0123456789abcdef/final.exe";
            const int status = n % 2 == 0 ? 302 : 307;
            return Reply{RawHttpServer::Response(status, "Location: " + next + "\r\n", "moved")};
        }
        if (head.rfind("GET /loop", 0) == 0) {
            return Reply{RawHttpServer::Response(301, "Location: /loop\r\n", "")};
        }
        return Reply{RawHttpServer::Response(200, "", "landed")};
    });
    WinHttpClient client(Wide(server.Url("/hop/10")));
    ASSERT_TRUE(client.Request(L"GET")) << client.lastError;
    EXPECT_EQ(BodyOf(client), "landed");
    EXPECT_EQ(client.finalUrl, Wide(server.Url("/0123456789abcdef0123456789abcdef/final.exe")));
    EXPECT_EQ(server.Requests().size(), 11u);
    EXPECT_EQ(server.Connections(), 1);

    WinHttpClient tooMany(Wide(server.Url("/hop/11")));
    EXPECT_FALSE(tooMany.Request(L"GET"));
    EXPECT_EQ(tooMany.lastError, Http::kErrorRedirectFailed);

    const std::size_t before = server.Requests().size();
    WinHttpClient loop(Wide(server.Url("/loop")));
    EXPECT_FALSE(loop.Request(L"GET"));
    EXPECT_EQ(loop.lastError, Http::kErrorRedirectFailed);
    // Three attempts, each the request and its ten redirects.
    EXPECT_EQ(server.Requests().size() - before, 33u);

    RawHttpServer secure(Always(RawHttpServer::Response(302, "Location: " + server.Url("/plain") + "\r\n", "")),
                         RawHttpServer::Security::Tls);
    WinHttpClient downgrade(Wide(secure.Url("/file")));
    EXPECT_FALSE(downgrade.Request(L"GET"));
    EXPECT_EQ(downgrade.lastError, Http::kErrorRedirectFailed);
    EXPECT_EQ(server.Requests().size() - before, 33u) << "the plain-text address must never be asked";
}

// A certificate no authority signed is accepted unless the caller asks for a valid one.
TEST(WinHttpClient, HttpsWithSelfSignedCertificate) {
    RawHttpServer server(Always(RawHttpServer::Response(200, "", LargeBody(300000))), RawHttpServer::Security::Tls);
    WinHttpClient client(Wide(server.Url("/secure.exe")));
    ASSERT_TRUE(client.Request(L"GET")) << client.lastError;
    EXPECT_EQ(BodyOf(client), LargeBody(300000));

    WinHttpClient strict(Wide(server.Url("/secure.exe")));
    strict.requireValidCertificate = true;
    EXPECT_FALSE(strict.Request(L"GET"));
    EXPECT_EQ(strict.lastError, Http::kErrorSecureFailure);
}

// With a valid certificate required, the chain must lead to a trusted authority and the
// certificate must name the host asked for.
TEST(WinHttpClient, RequiredCertificateIsCheckedAgainstAuthorityAndName) {
    RawHttpServer trusted(Always(RawHttpServer::Response(200, "", "checked")), RawHttpServer::Security::TrustedTls);
    RawHttpServer otherName(Always(RawHttpServer::Response(200, "", "wrong host")), RawHttpServer::Security::OtherName);
    const struct {
        const char* name;
        std::string url;
        std::string authority;  // the trust store the session reads
        bool accepted;
    } cases[] = {
        {"trusted, by address", trusted.Url("/x"), trusted.CaFile(), true},
        {"trusted, by name", "https://localhost:" + std::to_string(trusted.Port()) + "/x", trusted.CaFile(), true},
        {"authority unknown", trusted.Url("/x"), otherName.CaFile(), false},
        {"certificate for another name", otherName.Url("/x"), otherName.CaFile(), false},
    };
    for (const auto& c : cases) {
        setenv("SSL_CERT_FILE", c.authority.c_str(), 1);
        WinHttpClient client(Wide(c.url));
        client.requireValidCertificate = true;
        EXPECT_EQ(client.Request(L"GET"), c.accepted) << c.name << " error " << client.lastError;
        if (!c.accepted) {
            EXPECT_EQ(client.lastError, Http::kErrorSecureFailure) << c.name;
        }
        // By default the same certificate is accepted whatever is wrong with it.
        WinHttpClient lenient(Wide(c.url));
        EXPECT_TRUE(lenient.Request(L"GET")) << c.name << " error " << lenient.lastError;
    }
    unsetenv("SSL_CERT_FILE");
}

TEST(WinHttpClient, SilentServerTimesOut) {
    RawHttpServer server(Always("", Reply::After::Hang));
    WinHttpClient client(Wide(server.Url("/file")));
    client.receiveTimeout = 200;
    EXPECT_FALSE(client.Request(L"GET"));
    EXPECT_EQ(client.lastError, Http::kErrorTimeout);
    EXPECT_EQ(server.Requests().size(), 3u);
}

// A stop from another thread ends a request that waits on a silent server, without waiting
// for its time-outs, and without further attempts.
TEST(WinHttpClient, StopFlagEndsAWaitingRequest) {
    RawHttpServer server(Always("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nsome", Reply::After::Hang));
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    bool result = true;
    WinHttpClient client(Wide(server.Url("/file")));
    client.stopRequested = &stop;
    std::thread requester([&] {
        result = client.Request(L"GET");
        done = true;
    });
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return server.Requests().size() == 1; }));
    stop = true;
    const bool ended = TestSupport::WaitUntil([&] { return done.load(); }, std::chrono::seconds(5));
    requester.join();
    EXPECT_TRUE(ended) << "the request did not notice the stop";
    EXPECT_FALSE(result);
    EXPECT_EQ(client.lastError, Http::kErrorOperationCancelled);
    EXPECT_EQ(server.Requests().size(), 1u);
}

// The body goes to the file after what it held; an attempt that broke off leaves none of
// its bytes for the next attempt to append to.
TEST(WinHttpClient, SaveFileGetsTheBodyOnceAfterItsOldContent) {
    const std::string body = LargeBody(200000);
    RawHttpServer server([&](const std::string&, int index) {
        if (index == 0) {
            return Reply{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                             body.substr(0, 150000),
                         Reply::After::Close};
        }
        return Reply{RawHttpServer::Response(200, "", body)};
    });
    const std::string folder = TestSupport::MakeFolder("save");
    const std::string path = folder + "/package.exe";
    TestSupport::WriteFile(path, "old content|");
    WinHttpClient client(Wide(server.Url("/package.exe")));
    client.savePath = Wide(path);
    std::uint64_t began = 0;
    std::uint64_t lastReceived = 0;
    client.onBodyBegin = [&](std::uint64_t total) {
        ++began;
        EXPECT_EQ(total, body.size());
    };
    client.onBodyData = [&](const char*, std::size_t, std::uint64_t received, std::uint64_t) { lastReceived = received; };
    ASSERT_TRUE(client.Request(L"GET")) << client.lastError;
    EXPECT_EQ(server.Requests().size(), 2u);
    EXPECT_EQ(began, 2u);
    EXPECT_EQ(lastReceived, body.size());
    EXPECT_TRUE(TestSupport::ReadFile(path) == "old content|" + body) << "file size " << TestSupport::ReadFile(path).size();
    EXPECT_EQ(client.responseLength, 0u);
    EXPECT_TRUE(client.responseBody.empty());
}

TEST(WinHttpClient, UnwritableSaveFileFails) {
    RawHttpServer server(Always(RawHttpServer::Response(200, "", "body")));
    WinHttpClient client(Wide(server.Url("/package.exe")));
    client.savePath = Wide(TestSupport::PrivateFolder() + "/no/such/folder/package.exe");
    EXPECT_FALSE(client.Request(L"GET"));
    EXPECT_NE(client.lastError, 0u);
}

// With http_proxy set, a server that cannot be reached directly is asked through the
// proxy: the first attempt fails and names the proxy, the second goes through it.
TEST(WinHttpClient, FallsBackToTheUsersProxy) {
    RawHttpServer proxy(Always(RawHttpServer::Response(200, "", "via proxy")));
    const int unreachable = RawHttpServer::ClosedPort();
    setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(proxy.Port())).c_str(), 1);
    setenv("no_proxy", "", 1);
    const std::string target = "http://127.0.0.1:" + std::to_string(unreachable) + "/0123/file.exe";
    WinHttpClient client(Wide(target));
    const bool ok = client.Request(L"GET");
    unsetenv("http_proxy");
    unsetenv("no_proxy");
    ASSERT_TRUE(ok) << client.lastError;
    EXPECT_EQ(BodyOf(client), "via proxy");
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(proxy.Requests()[0].rfind("GET " + target + " HTTP/1.1\r\n", 0), 0u) << proxy.Requests()[0];

    // Without a proxy the unreachable server fails all three attempts.
    WinHttpClient direct(Wide(target));
    EXPECT_FALSE(direct.Request(L"GET"));
    EXPECT_EQ(direct.lastError, Http::kErrorCannotConnect);
}

// HTTPS through a proxy goes through a CONNECT tunnel to the real server.
TEST(WinHttpClient, HttpsThroughProxyTunnel) {
    RawHttpServer secure(Always(RawHttpServer::Response(200, "", "secret")), RawHttpServer::Security::Tls);
    TunnelProxy proxy;
    Http::HttpSession session(L"WinHttpClient");
    Http::UrlComponents parts;
    std::uint32_t error = 0;
    ASSERT_TRUE(Http::CrackUrl(Wide(secure.Url("/x")), parts, error));
    Http::HttpRequest request(session, parts, L"GET");
    request.SetIgnoreCertificateErrors(true);
    request.SetProxy({L"127.0.0.1", static_cast<std::uint16_t>(proxy.Port())});
    ASSERT_TRUE(request.Send()) << request.LastError();
    ASSERT_TRUE(request.ReceiveResponse()) << request.LastError();
    EXPECT_EQ(request.StatusCode(), L"200");
    char buffer[16] = {};
    std::size_t read = 0;
    ASSERT_TRUE(request.ReadData(buffer, sizeof(buffer), read));
    EXPECT_EQ(std::string(buffer, read), "secret");
    EXPECT_EQ(proxy.ConnectLine(), "CONNECT 127.0.0.1:" + std::to_string(secure.Port()) + " HTTP/1.1");
}

// The environment rules for choosing a proxy.
TEST(HttpProxy, EnvironmentSettings) {
    const struct {
        const wchar_t* url;
        const wchar_t* http;
        const wchar_t* https;
        const wchar_t* all;
        const wchar_t* noProxy;
        const wchar_t* host;  // nullptr: no proxy
        std::uint16_t port;
    } cases[] = {
        {L"http://a.test/x", L"http://127.0.0.1:3128", L"", L"", L"", L"127.0.0.1", 3128},
        {L"http://a.test/x", L"127.0.0.1:8080/", L"", L"", L"", L"127.0.0.1", 8080},
        {L"http://a.test/x", L"http://proxy.test", L"", L"", L"", L"proxy.test", 80},
        {L"https://a.test/x", L"http://p1:1", L"http://p2:2", L"", L"", L"p2", 2},
        {L"https://a.test/x", L"http://p1:1", L"", L"", L"", nullptr, 0},
        {L"https://a.test/x", L"", L"", L"http://p3:3", L"", L"p3", 3},
        {L"http://a.test/x", L"http://p:1", L"", L"", L"*", nullptr, 0},
        {L"http://a.test/x", L"http://p:1", L"", L"", L"b.test, a.test", nullptr, 0},
        {L"http://www.a.test/x", L"http://p:1", L"", L"", L".a.test", nullptr, 0},
        {L"http://www.a.test/x", L"http://p:1", L"", L"", L"a.test:80", nullptr, 0},
        {L"http://xa.test/x", L"http://p:1", L"", L"", L"a.test", L"p", 1},
        {L"http://a.test/x", L"socks5://p:1", L"", L"", L"", nullptr, 0},
    };
    for (const auto& c : cases) {
        Http::ProxyServer server;
        const bool found = Http::ProxyFromSettings(c.url, c.http, c.https, c.all, c.noProxy, server);
        EXPECT_EQ(found, c.host != nullptr) << testing::PrintToString(std::wstring(c.url));
        if (found && c.host != nullptr) {
            EXPECT_EQ(server.host, c.host);
            EXPECT_EQ(server.port, c.port);
        }
    }
}
