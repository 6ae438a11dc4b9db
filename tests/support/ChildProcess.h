// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace quaymark::test {

// A real child process with its standard output read line by line and its standard error
// collected; killed and reaped if the test ends early.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of standard output, or nothing once it has closed.
    std::optional<std::string> readLine();
    void signal(int number) const;
    // Reads what is left and returns the exit status (128 + signal when killed by one).
    int wait();

    const std::string& output() const { return output_; }
    const std::string& errors() const { return errors_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string pending_;
    std::string output_;
    std::string errors_;
    std::optional<int> status_;
};

struct ProcessResult {
    int status;
    std::string output;
    std::string errors;
};

ProcessResult runProcess(const std::vector<std::string>& arguments);

} // namespace quaymark::test
