// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace quaymark {

// The engine's one error type; what() is the sentence shown to the user.
class QuayError : public std::exception {
public:
    // `failed`: anything else that stopped the work, such as a damaged document or too little
    // memory; what() says what.
    enum class Kind {
        invalidLocation,
        unavailable,
        changed,
        verification,
        io,
        cancelled,
        noFiles,
        failed
    };

    static QuayError invalidLocation(std::string message);
    static QuayError unavailable(std::string message);
    static QuayError changed(std::string item);
    static QuayError verification(std::string path);
    static QuayError io(std::string operation, std::string path, int code);
    static QuayError cancelled();
    static QuayError noFiles();
    static QuayError failed(std::string message);
    // The error `error` as the engine's own: a file system or system error keeps its path and
    // number as `io`; anything else is `failed` with its text.
    static QuayError from(const std::exception_ptr& error);

    Kind kind() const noexcept { return kind_; }
    // The message, item or path the case carries; empty for cases without one.
    const std::string& payload() const noexcept { return payload_; }
    const std::string& operation() const noexcept { return operation_; }
    int code() const noexcept { return code_; }
    const std::string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    QuayError(Kind kind, std::string payload, std::string description);

    Kind kind_;
    std::string payload_;
    std::string operation_;
    int code_ = 0;
    std::string description_;
};

// The platform's text for an error number.
std::string systemErrorText(int code);

// Runs one of the engine's public operations: whatever a lower layer or the standard library
// throws leaves as a QuayError, so that callers need one catch and keep the error's kind.
template <typename Work>
decltype(auto) atEngineEdge(Work&& work) {
    try {
        return std::forward<Work>(work)();
    } catch (const QuayError&) {
        throw;
    } catch (...) {
        throw QuayError::from(std::current_exception());
    }
}

} // namespace quaymark
