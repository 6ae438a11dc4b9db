// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestFiles.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class SSLServer;
struct Request;
struct Response;
} // namespace httplib

namespace quaymark::test {

// A real HTTPS server on 127.0.0.1 with a self-signed certificate made for it, answering GET
// requests from a table of paths on a thread of its own. Paths not in the table get 404.
class HttpsTestServer {
public:
    HttpsTestServer();
    ~HttpsTestServer();
    HttpsTestServer(const HttpsTestServer&) = delete;
    HttpsTestServer& operator=(const HttpsTestServer&) = delete;

    void serve(const std::string& path, std::string body, int status = 200);
    // Answers `path` with 302 and a Location header.
    void redirect(const std::string& path, const std::string& location);
    // "https://127.0.0.1:<port>" followed by `path`.
    std::string url(const std::string& path = {}) const;
    // The certificate (PEM) a client must trust.
    const std::filesystem::path& certificate() const { return certificate_; }

    struct Request {
        std::string path;
        std::string userAgent;
    };
    std::vector<Request> requests() const;

private:
    void answer(const httplib::Request& request, httplib::Response& response);

    struct Answer {
        int status;
        std::string body;
        std::string location;
    };

    TempDir folder_;
    std::filesystem::path certificate_;
    std::unique_ptr<httplib::SSLServer> server_;
    int port_ = 0;
    mutable std::mutex lock_;
    std::map<std::string, Answer> answers_;
    std::vector<Request> requests_;
    std::thread thread_;
};

} // namespace quaymark::test
