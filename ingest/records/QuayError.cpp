// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuayError.h"

#include <string.h>

#include <filesystem>
#include <new>
#include <string_view>
#include <system_error>

namespace quaymark {

QuayError::QuayError(Kind kind, std::string payload, std::string description)
    : kind_(kind)
    , payload_(std::move(payload))
    , description_(std::move(description)) {}

QuayError QuayError::invalidLocation(std::string message) {
    std::string description = message;
    return {Kind::invalidLocation, std::move(message), std::move(description)};
}

QuayError QuayError::unavailable(std::string message) {
    std::string description = message;
    return {Kind::unavailable, std::move(message), std::move(description)};
}

QuayError QuayError::changed(std::string item) {
    std::string description =
        "Source changed during import: " + item + ". Keep the card untouched and try again.";
    return {Kind::changed, std::move(item), std::move(description)};
}

QuayError QuayError::verification(std::string path) {
    std::string description =
        "Checksum mismatch: " + path + ". The import has not been marked verified.";
    return {Kind::verification, std::move(path), std::move(description)};
}

QuayError QuayError::io(std::string operation, std::string path, int code) {
    std::string description = operation + " failed for " + path + ": " + systemErrorText(code) +
                              " (" + std::to_string(code) + ").";
    QuayError error{Kind::io, std::move(path), std::move(description)};
    error.operation_ = std::move(operation);
    error.code_ = code;
    return error;
}

QuayError QuayError::cancelled() {
    return {Kind::cancelled, {}, "Import cancelled. Completed files remain in the import folder."};
}

QuayError QuayError::noFiles() {
    return {Kind::noFiles, {}, "No matching files were found in this source."};
}

QuayError QuayError::failed(std::string message) {
    std::string description = message;
    return {Kind::failed, std::move(message), std::move(description)};
}

QuayError QuayError::from(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const QuayError& same) {
        return same;
    } catch (const std::filesystem::filesystem_error& failure) {
        // The library's own text names the step, the reason and the paths.
        std::string_view text = failure.what();
        constexpr std::string_view prefix = "filesystem error: ";
        if (text.starts_with(prefix)) {
            text.remove_prefix(prefix.size());
        }
        QuayError mapped{Kind::io, failure.path1().string(), std::string(text)};
        mapped.code_ = failure.code().value();
        return mapped;
    } catch (const std::system_error& failure) {
        QuayError mapped{Kind::io, {}, failure.what()};
        mapped.code_ = failure.code().value();
        return mapped;
    } catch (const std::bad_alloc&) {
        return failed("There is not enough memory for this work.");
    } catch (const std::exception& failure) {
        return failed(failure.what());
    } catch (...) {
        return failed("An unknown error stopped the work.");
    }
}

std::string systemErrorText(int code) {
    char buffer[256] = {};
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    return ::strerror_r(code, buffer, sizeof buffer);
#else
    ::strerror_r(code, buffer, sizeof buffer);
    return buffer;
#endif
}

} // namespace quaymark
