// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

namespace quaymark {

// Blocking HTTPS GET requests through libcurl, for one worker thread. Only HTTPS is spoken,
// redirects included. A request gives up after 60 seconds without progress, or when `stop`
// is requested (DownloadCancelled).
class HttpsClient {
public:
    // `trustedCertificates`: a PEM file to trust instead of the system's certificates.
    explicit HttpsClient(std::filesystem::path trustedCertificates = {}, std::stop_token stop = {});

    struct Response {
        long status = 0;
        std::string body;
    };

    // The whole answer in memory; a body larger than `limit` fails the request.
    Response fetch(const std::string& url, std::size_t limit = 16 << 20) const;
    // Writes the answer's body to the open descriptor `fd`; returns the HTTP status.
    long download(const std::string& url, int fd) const;

private:
    long perform(const std::string& url, const std::function<void(std::string_view)>& sink) const;

    std::filesystem::path trustedCertificates_;
    std::stop_token stop_;
};

// Scheme and host of an address, empty when it does not parse.
struct UrlParts {
    std::string scheme;
    std::string host;
};
UrlParts parseUrl(const std::string& url);

} // namespace quaymark
