// SPDX-License-Identifier: GPL-3.0-or-later
#include "HttpsClient.h"

#include "DownloadError.h"

#include <curl/curl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>

namespace quaymark {

namespace {

constexpr long idleSeconds = 60;
constexpr std::size_t downloadLimit = std::size_t{4} << 30;

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct UrlDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        // Without curl's signal handling, a server closing the connection while we write
        // would end the whole application. Helpers get the default back when spawned.
        std::signal(SIGPIPE, SIG_IGN);
    });
}

// What the C callbacks share with the request; exceptions never cross libcurl.
struct Transfer {
    const std::function<void(std::string_view)>& sink;
    std::stop_token stop;
    std::exception_ptr failure;
};

size_t receive(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    try {
        transfer->sink(std::string_view(data, size * count));
        return size * count;
    } catch (...) {
        transfer->failure = std::current_exception();
        return 0;
    }
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->stop.stop_requested() ? 1 : 0;
}

DownloadError transferError(const std::string& url, CURLcode code, const char* detail) {
    const std::string reason = detail[0] != '\0' ? detail : curl_easy_strerror(code);
    if (code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY ||
        code == CURLE_COULDNT_CONNECT) {
        return DownloadError(NetworkError::cannotConnect,
                             "Could not connect for " + url + ": " + reason);
    }
    if (code == CURLE_OPERATION_TIMEDOUT) {
        return DownloadError(NetworkError::transferFailed, "The request timed out: " + url);
    }
    return DownloadError(NetworkError::transferFailed, "Could not download " + url + ": " + reason);
}

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            throw std::system_error(errno, std::generic_category(), "Could not save a download");
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
}

} // namespace

HttpsClient::HttpsClient(std::filesystem::path trustedCertificates, std::stop_token stop)
    : trustedCertificates_(std::move(trustedCertificates))
    , stop_(std::move(stop)) {}

long HttpsClient::perform(const std::string& url,
                          const std::function<void(std::string_view)>& sink) const {
    initialiseOnce();
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) {
        throw std::bad_alloc();
    }
    CURL* handle = easy.get();
    Transfer transfer{sink, stop_, nullptr};
    char detail[CURL_ERROR_SIZE] = {};

    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "Brindleway-Quaymark");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, detail);
    // Large downloads may take long; only a stalled one is given up.
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, idleSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, idleSeconds);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, receive);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    if (!trustedCertificates_.empty()) {
        curl_easy_setopt(handle, CURLOPT_CAINFO, trustedCertificates_.c_str());
        curl_easy_setopt(handle, CURLOPT_CAPATH, static_cast<char*>(nullptr));
    }

    const CURLcode result = curl_easy_perform(handle);
    if (transfer.failure) {
        std::rethrow_exception(transfer.failure);
    }
    if (stop_.stop_requested()) {
        throw DownloadCancelled();
    }
    if (result != CURLE_OK) {
        throw transferError(url, result, detail);
    }
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

HttpsClient::Response HttpsClient::fetch(const std::string& url, std::size_t limit) const {
    Response response;
    response.status = perform(url, [&](std::string_view bytes) {
        if (response.body.size() + bytes.size() > limit) {
            throw DownloadError(NetworkError::transferFailed,
                                "The answer from " + url + " is too large.");
        }
        response.body.append(bytes);
    });
    return response;
}

long HttpsClient::download(const std::string& url, int fd) const {
    std::size_t total = 0;
    return perform(url, [&](std::string_view bytes) {
        // A server that never stops sending must not fill the disk.
        total += bytes.size();
        if (total > downloadLimit) {
            throw DownloadError(NetworkError::transferFailed,
                                "The download from " + url + " is too large.");
        }
        writeAll(fd, bytes);
    });
}

UrlParts parseUrl(const std::string& url) {
    std::unique_ptr<CURLU, UrlDeleter> handle(curl_url());
    if (!handle) {
        throw std::bad_alloc();
    }
    if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return {};
    }
    UrlParts parts;
    for (auto [part, target] :
         {std::pair{CURLUPART_SCHEME, &parts.scheme}, std::pair{CURLUPART_HOST, &parts.host}}) {
        char* text = nullptr;
        if (curl_url_get(handle.get(), part, &text, 0) != CURLUE_OK) {
            return {};
        }
        *target = text;
        curl_free(text);
    }
    return parts;
}

} // namespace quaymark
