// SPDX-License-Identifier: GPL-3.0-or-later
#include "HttpsTestServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace quaymark::test {

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* value) const { Free(value); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;
using Connection = std::unique_ptr<SSL, Deleter<SSL, SSL_free>>;

void require(bool condition, const char* what) {
    if (!condition)
        throw std::runtime_error(std::string("Test HTTPS server: ") + what);
}

Certificate selfSigned(EVP_PKEY* key) {
    Certificate certificate(X509_new());
    require(certificate != nullptr, "X509_new");
    X509* cert = certificate.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    for (auto [nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1"},
                              std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
        Extension extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
        require(extension != nullptr && X509_add_ext(cert, extension.get(), -1) == 1,
                "certificate extension");
    }
    require(X509_sign(cert, key, EVP_sha256()) > 0, "X509_sign");
    return certificate;
}

void sendAll(SSL* ssl, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        size_t written = 0;
        if (SSL_write_ex(ssl, bytes.data() + sent, bytes.size() - sent, &written) != 1)
            return; // the client went away
        sent += written;
    }
}

std::string header(const std::string& head, const std::string& name) {
    const std::string key = "\r\n" + name + ": ";
    const size_t start = head.find(key);
    if (start == std::string::npos)
        return {};
    const size_t end = head.find("\r\n", start + key.size());
    return head.substr(start + key.size(), end - start - key.size());
}

} // namespace

HttpsTestServer::HttpsTestServer() {
    Key key(EVP_EC_gen("P-256"));
    require(key != nullptr, "EVP_EC_gen");
    const Certificate cert = selfSigned(key.get());
    certificate_ = folder_ / "server.pem";
    {
        struct Closer {
            void operator()(FILE* file) const { std::fclose(file); }
        };
        std::unique_ptr<FILE, Closer> file(std::fopen(certificate_.c_str(), "w"));
        require(file && PEM_write_X509(file.get(), cert.get()) == 1, "writing the certificate");
    }

    context_ = SSL_CTX_new(TLS_server_method());
    require(context_ != nullptr && SSL_CTX_use_certificate(context_, cert.get()) == 1 &&
                SSL_CTX_use_PrivateKey(context_, key.get()) == 1,
            "TLS context");

    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    require(listener_ >= 0 &&
                ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                ::listen(listener_, 16) == 0 &&
                ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0,
            "listening socket");
    port_ = ntohs(address.sin_port);
    require(::pipe2(wake_, O_CLOEXEC) == 0, "pipe");
    // A client that gives up mid-answer must fail the write, not end the test program.
    std::signal(SIGPIPE, SIG_IGN);
    thread_ = std::thread([this] { loop(); });
}

HttpsTestServer::~HttpsTestServer() {
    const char stop = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wake_[1], &stop, 1);
    thread_.join();
    for (int fd : {listener_, wake_[0], wake_[1]})
        ::close(fd);
    SSL_CTX_free(context_);
}

void HttpsTestServer::serve(const std::string& path, std::string body, int status) {
    std::lock_guard guard(lock_);
    answers_[path] = Answer{status, std::move(body), {}};
}

void HttpsTestServer::redirect(const std::string& path, const std::string& location) {
    std::lock_guard guard(lock_);
    answers_[path] = Answer{302, {}, location};
}

std::string HttpsTestServer::url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<HttpsTestServer::Request> HttpsTestServer::requests() const {
    std::lock_guard guard(lock_);
    return requests_;
}

std::vector<std::string> HttpsTestServer::requestedPaths() const {
    std::vector<std::string> paths;
    for (const Request& request : requests())
        paths.push_back(request.path);
    return paths;
}

void HttpsTestServer::loop() {
    for (;;) {
        pollfd waits[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0)
            continue;
        if (waits[1].revents != 0)
            return;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        // A client that stops talking must not stall the test forever.
        const timeval limit{30, 0};
        ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        answer(client);
        ::close(client);
    }
}

void HttpsTestServer::answer(int client) {
    Connection ssl(SSL_new(context_));
    if (!ssl || SSL_set_fd(ssl.get(), client) != 1 || SSL_accept(ssl.get()) != 1) {
        ERR_clear_error();
        return;
    }
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        size_t count = 0;
        if (SSL_read_ex(ssl.get(), buffer, sizeof buffer, &count) != 1)
            return;
        head.append(buffer, count);
    }
    const size_t space = head.find(' ');
    const size_t end = head.find(' ', space + 1);
    if (space == std::string::npos || end == std::string::npos)
        return;
    const std::string path = head.substr(space + 1, end - space - 1);

    Answer found{404, "Not Found", {}};
    {
        std::lock_guard guard(lock_);
        requests_.push_back(Request{path, header(head, "User-Agent")});
        if (const auto it = answers_.find(path); it != answers_.end())
            found = it->second;
    }
    const std::string location =
        found.location.empty() ? "" : "Location: " + found.location + "\r\n";
    sendAll(ssl.get(), "HTTP/1.1 " + std::to_string(found.status) + " Test\r\n" + location +
                           "Content-Length: " + std::to_string(found.body.size()) +
                           "\r\nConnection: close\r\n\r\n" + found.body);
    SSL_shutdown(ssl.get());
}

} // namespace quaymark::test
