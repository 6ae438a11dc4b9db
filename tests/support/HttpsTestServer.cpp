// SPDX-License-Identifier: GPL-3.0-or-later
#include "HttpsTestServer.h"

#include "ChildProcess.h"

#include <httplib.h>

#include <csignal>
#include <stdexcept>

namespace quaymark::test {

HttpsTestServer::HttpsTestServer() {
    certificate_ = folder_ / "server.pem";
    const std::filesystem::path key = folder_ / "server.key";
    // A CA certificate for the address itself, so that a client can trust it alone.
    const auto made = runProcess({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                                  "ec_paramgen_curve:P-256", "-nodes", "-days", "1", "-subj",
                                  "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                                  "-keyout", key.string(), "-out", certificate_.string()});
    if (made.status != 0) {
        throw std::runtime_error("Test HTTPS server: openssl req failed: " + made.errors);
    }
    server_ = std::make_unique<httplib::SSLServer>(certificate_.c_str(), key.c_str());
    server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        answer(request, response);
    });
    port_ = server_->is_valid() ? server_->bind_to_any_port("127.0.0.1") : -1;
    if (port_ <= 0) {
        throw std::runtime_error("Test HTTPS server: cannot listen on 127.0.0.1");
    }
    // A client that gives up mid-answer must fail the write, not end the test program.
    std::signal(SIGPIPE, SIG_IGN);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
}

HttpsTestServer::~HttpsTestServer() {
    server_->stop();
    thread_.join();
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

void HttpsTestServer::answer(const httplib::Request& request, httplib::Response& response) {
    Answer found{404, "Not Found", {}};
    {
        std::lock_guard guard(lock_);
        requests_.push_back(Request{request.path, request.get_header_value("User-Agent")});
        if (const auto it = answers_.find(request.path); it != answers_.end()) {
            found = it->second;
        }
    }
    response.status = found.status;
    if (!found.location.empty()) {
        response.set_header("Location", found.location);
    }
    response.set_content(found.body, "application/octet-stream");
}

} // namespace quaymark::test
