// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quaymark {

// Shared by the thread that runs a helper and whoever may stop it. Belongs to one run, whose
// helpers it starts one after another; once stopped it stays stopped.
class ProcessControl {
public:
    ProcessControl() = default;
    ~ProcessControl();
    ProcessControl(const ProcessControl&) = delete;
    ProcessControl& operator=(const ProcessControl&) = delete;

    // Stops the helper's whole process group: SIGTERM now, SIGKILL five seconds later if it
    // still runs. Any thread, any number of times.
    void cancel();
    bool stopped() const;

private:
    friend class DownloadProcess;

    // Launches under the lock, so a concurrent cancel() sees either nothing or the child.
    // Throws DownloadCancelled when already stopped, std::system_error when the launch fails.
    pid_t launch(const std::function<pid_t()>& spawn);
    // Waits for the child to exit and reaps it: the only place it is reaped. Returns the exit
    // status, 128 + the signal that killed it, or -1 when it could not be collected.
    int reap();
    void signalGroup(int signal);
    void killLater();

    mutable std::mutex lock_; // guards the process state below
    std::condition_variable reaped_;
    pid_t pid_ = -1;
    bool running_ = false;
    bool stopped_ = false;
    bool closing_ = false;
    std::thread killer_;
};

class DownloadProcess {
public:
    // Runs `executable` with `arguments` (argv[0] is the executable path) in its own process
    // group, standard output and standard error through one pipe. `onLine` gets every output
    // line, in order, on the calling thread, each cut to its last `lineLimit` bytes. Blocks until
    // the helper has exited.
    // Returns the last 4096 characters of output on exit status 0. Throws DownloadCancelled
    // when `control` was stopped, DownloadError ("Quaymark.Download", exit status, output
    // tail) on another status, std::system_error when the helper cannot be launched.
    static std::string run(const std::string& executable, const std::vector<std::string>& arguments,
                           ProcessControl& control,
                           const std::function<void(const std::string&)>& onLine,
                           std::size_t lineLimit = defaultLineLimit);

    static constexpr std::size_t defaultLineLimit = 65536;
};

} // namespace quaymark
