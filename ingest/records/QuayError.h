// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <string>

namespace quaymark {

// The engine's one error type; what() is the sentence shown to the user.
class QuayError : public std::exception {
public:
    enum class Kind { invalidLocation, unavailable, changed, verification, io, cancelled, noFiles };

    static QuayError invalidLocation(std::string message);
    static QuayError unavailable(std::string message);
    static QuayError changed(std::string item);
    static QuayError verification(std::string path);
    static QuayError io(std::string operation, std::string path, int code);
    static QuayError cancelled();
    static QuayError noFiles();

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

} // namespace quaymark
