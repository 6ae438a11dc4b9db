#pragma once

#include <exception>
#include <string>

namespace quaymark {

inline constexpr const char* downloadErrorDomain = "Quaymark.Download";
inline constexpr const char* toolsErrorDomain = "Quaymark.Tools";

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
