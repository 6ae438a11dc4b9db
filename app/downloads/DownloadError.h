#pragma once

#include <exception>
#include <string>

namespace quaymark {

inline constexpr const char* downloadErrorDomain = "Quaymark.Download";
inline constexpr const char* toolsErrorDomain = "Quaymark.Tools";
// Failures of a request to a server or of what it answered.
inline constexpr const char* networkErrorDomain = "Quaymark.Network";

// Codes of toolsErrorDomain.
namespace ToolsError {
inline constexpr int noChecksum = 1;
inline constexpr int checksumMismatch = 2;
inline constexpr int mediaHelperMissing = 3;
inline constexpr int badArchive = 4;
inline constexpr int trialTimedOut = 5;
} // namespace ToolsError

// Codes of networkErrorDomain.
namespace NetworkError {
// An address that is missing, unparsable or on a host that is not allowed.
inline constexpr int badURL = 1;
// An HTTP status other than the one expected.
inline constexpr int badServerResponse = 2;
// An answer whose content is not what it must hold.
inline constexpr int cannotDecodeContentData = 3;
// An answer that is not the JSON document expected.
inline constexpr int cannotParseResponse = 4;
// The transfer itself failed: no connection, TLS, time-out, too large.
inline constexpr int transferFailed = 5;
} // namespace NetworkError

// A failure of the download side, shown to the user by its description.
struct DownloadError : std::exception {
    DownloadError(std::string errorDomain, int errorCode, std::string text)
        : domain(std::move(errorDomain))
        , code(errorCode)
        , description(std::move(text)) {}

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
