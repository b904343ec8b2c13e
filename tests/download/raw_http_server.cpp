#include "raw_http_server.h"

#include <arpa/inet.h>
#include <csignal>
#include <pthread.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "test_support.h"

struct RawHttpServer::Tls {
    SSL_CTX* context = nullptr;
    std::string caFile;

    static X509* MakeCertificate(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey,
                                 const char* altNames, bool authority) {
        X509* certificate = X509_new();
        X509_set_version(certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), authority ? 1 : 2);
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 3600);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1,
                                   -1, 0);
        X509_set_issuer_name(certificate, issuer != nullptr ? X509_get_subject_name(issuer) : name);
        X509V3_CTX v3;
        X509V3_set_ctx_nodb(&v3);
        X509V3_set_ctx(&v3, issuer != nullptr ? issuer : certificate, certificate, nullptr, nullptr, 0);
        const auto add = [&](int nid, const char* value) {
            X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
            X509_add_ext(certificate, extension, -1);
            X509_EXTENSION_free(extension);
        };
        if (authority) {
            add(NID_basic_constraints, "critical,CA:TRUE");
            add(NID_key_usage, "critical,keyCertSign,cRLSign");
        } else if (altNames != nullptr) {
            add(NID_subject_alt_name, altNames);
        }
        X509_sign(certificate, issuerKey != nullptr ? issuerKey : key, EVP_sha256());
        return certificate;
    }

    explicit Tls(Security security) {
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* certificate = nullptr;
        if (security == Security::Tls) {
            // A fresh self-signed certificate for "localhost": no authority knows it.
            certificate = MakeCertificate(key, "localhost", nullptr, nullptr, nullptr, false);
        } else {
            EVP_PKEY* authorityKey = EVP_EC_gen("P-256");
            X509* authority = MakeCertificate(authorityKey, "Parlumo Test Authority", nullptr, nullptr, nullptr, true);
            certificate = MakeCertificate(key, "server", authority, authorityKey,
                                          security == Security::TrustedTls ? "IP:127.0.0.1,DNS:localhost"
                                                                           : "DNS:other.test",
                                          false);
            static int counter = 0;
            caFile = TestSupport::PrivateFolder() + "/test-authority-" + std::to_string(++counter) + ".pem";
            FILE* out = std::fopen(caFile.c_str(), "w");
            PEM_write_X509(out, authority);
            std::fclose(out);
            X509_free(authority);
            EVP_PKEY_free(authorityKey);
        }
        context = SSL_CTX_new(TLS_server_method());
        if (context == nullptr || SSL_CTX_use_certificate(context, certificate) != 1 ||
            SSL_CTX_use_PrivateKey(context, key) != 1) {
            throw std::runtime_error("cannot set up the test certificate");
        }
        X509_free(certificate);
        EVP_PKEY_free(key);
    }
    ~Tls() { SSL_CTX_free(context); }
};

namespace {

// One connection's byte stream, plain or TLS.
struct Stream {
    int fd;
    SSL* ssl = nullptr;

    long Read(char* into, std::size_t size) {
        if (ssl != nullptr) {
            const int got = SSL_read(ssl, into, static_cast<int>(size));
            return got > 0 ? got : -1;
        }
        const ssize_t got = ::recv(fd, into, size, 0);
        return got > 0 ? static_cast<long>(got) : -1;
    }

    bool Write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            long put;
            if (ssl != nullptr) {
                put = SSL_write(ssl, bytes.data() + done, static_cast<int>(bytes.size() - done));
            } else {
                put = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            }
            if (put <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(put);
        }
        return true;
    }
};

}  // namespace

RawHttpServer::RawHttpServer(Handler handler, Security security) : handler_(std::move(handler)) {
    if (security != Security::Plain) {
        tls_ = std::make_unique<Tls>(security);
    }
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

RawHttpServer::~RawHttpServer() {
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        for (int fd : open_) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    stopped_.notify_all();
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        workers.swap(workers_);
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    ::close(listener_);
}

std::string RawHttpServer::Url(const std::string& path) const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::string RawHttpServer::CaFile() const { return tls_ ? tls_->caFile : std::string(); }

std::vector<std::string> RawHttpServer::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::string RawHttpServer::Response(int status, const std::string& headers, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) + " Status\r\n" + headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string RawHttpServer::Chunked(const std::vector<std::string>& pieces, const std::string& extraHeaders) {
    std::string out = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n" + extraHeaders + "\r\n";
    for (const std::string& piece : pieces) {
        char size[32];
        std::snprintf(size, sizeof(size), "%zx", piece.size());
        out += std::string(size) + "\r\n" + piece + "\r\n";
    }
    return out + "0\r\n\r\n";
}

int RawHttpServer::ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);  // bound but never listening: the port refuses connections
    return ntohs(address.sin_port);
}

void RawHttpServer::AcceptLoop() {
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard<std::mutex> lock(mutex_);
        if (fd < 0 || stopping_) {
            if (fd >= 0) {
                ::close(fd);
            }
            if (stopping_) {
                return;
            }
            continue;
        }
        ++connections_;
        open_.push_back(fd);
        workers_.emplace_back([this, fd] { Serve(fd); });
    }
}

void RawHttpServer::Serve(int fd) {
    // A client that hangs up while this thread writes must not end the test process.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    Stream stream{fd};
    if (tls_) {
        stream.ssl = SSL_new(tls_->context);
        SSL_set_fd(stream.ssl, fd);
        if (SSL_accept(stream.ssl) != 1) {
            SSL_free(stream.ssl);
            stream.ssl = nullptr;
            std::lock_guard<std::mutex> lock(mutex_);
            open_.erase(std::find(open_.begin(), open_.end(), fd));
            ::close(fd);
            return;
        }
    }
    std::string pending;
    bool open = true;
    while (open) {
        std::size_t end;
        while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
            char buffer[4096];
            const long got = stream.Read(buffer, sizeof(buffer));
            if (got <= 0) {
                open = false;
                break;
            }
            pending.append(buffer, static_cast<std::size_t>(got));
        }
        if (!open) {
            break;
        }
        const std::string head = pending.substr(0, end + 4);
        pending.erase(0, end + 4);
        int index;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            index = static_cast<int>(requests_.size());
            requests_.push_back(head);
        }
        const Reply reply = handler_(head, index);
        if (!stream.Write(reply.bytes)) {
            break;
        }
        if (reply.after == Reply::After::Close) {
            break;
        }
        if (reply.after == Reply::After::Hang) {
            std::unique_lock<std::mutex> lock(mutex_);
            stopped_.wait(lock, [this] { return stopping_; });
            break;
        }
    }
    if (stream.ssl != nullptr) {
        SSL_shutdown(stream.ssl);
        SSL_free(stream.ssl);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(std::find(open_.begin(), open_.end(), fd));
    ::close(fd);
}
