// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <string>

namespace quaymark {

inline constexpr const char* downloadErrorDomain = "Quaymark.Download";
inline constexpr const char* toolsErrorDomain = "Quaymark.Tools";
// Failures of a request to a server or of what it answered.
inline constexpr const char* networkErrorDomain = "Quaymark.Network";

// Codes of toolsErrorDomain; the numbers are the codes reported.
enum class ToolsError {
    noChecksum = 1,
    checksumMismatch = 2,
    mediaHelperMissing = 3,
    badArchive = 4,
    trialTimedOut = 5,
};

// Codes of networkErrorDomain; the numbers are the codes reported.
enum class NetworkError {
    // An address that is missing, unparsable or on a host that is not allowed.
    badURL = 1,
    // An HTTP status other than the one expected.
    badServerResponse = 2,
    // An answer whose content is not what it must hold.
    cannotDecodeContentData = 3,
    // An answer that is not the JSON document expected.
    cannotParseResponse = 4,
    // The transfer itself failed: TLS, time-out, too large.
    transferFailed = 5,
    // No connection at all: the name did not resolve, or the server could not be reached.
    cannotConnect = 6,
};

// A failure of the download side, shown to the user by its description.
struct DownloadError : std::exception {
    DownloadError(std::string errorDomain, int errorCode, std::string text)
        : domain(std::move(errorDomain))
        , code(errorCode)
        , description(std::move(text)) {}
    // In toolsErrorDomain or networkErrorDomain, by the code's type.
    DownloadError(ToolsError errorCode, std::string text)
        : DownloadError(toolsErrorDomain, static_cast<int>(errorCode), std::move(text)) {}
    DownloadError(NetworkError errorCode, std::string text)
        : DownloadError(networkErrorDomain, static_cast<int>(errorCode), std::move(text)) {}

    const char* what() const noexcept override { return description.c_str(); }

    std::string domain;
    int code = 0;
    std::string description;
};

// A stop asked for by the user; callers show it as a pause, never as a failure.
struct DownloadCancelled : std::exception {
    const char* what() const noexcept override { return "Cancelled"; }
};

} // namespace quaymark
