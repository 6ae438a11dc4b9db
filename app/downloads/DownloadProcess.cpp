// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadProcess.h"

#include "DownloadError.h"
#include "Utf8Text.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>

extern char** environ;

namespace quaymark {

namespace {

constexpr std::size_t readSize = 8192;
constexpr std::size_t transcriptLimit = 4096;
constexpr auto killDelay = std::chrono::seconds(5);

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1)
        : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_); // a close error changes nothing for the caller
        }
        fd_ = -1;
    }

private:
    int fd_;
};

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
public:
    SpawnAttributes() { posix_spawnattr_init(&attributes_); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

std::system_error launchError(int code) {
    return std::system_error(code, std::generic_category(), "posix_spawn");
}

pid_t spawn(const std::string& executable, const std::vector<std::string>& arguments, int output) {
    SpawnActions actions;
    // The helper must never wait for input from whoever started the application.
    posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(actions.get(), output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), output, STDERR_FILENO);

    // Its own group, so a stop reaches everything it starts; default signal handling and an
    // empty mask whatever the launching thread had.
    SpawnAttributes attributes;
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    posix_spawnattr_setpgroup(attributes.get(), 0);
    posix_spawnattr_setsigmask(attributes.get(), &none);
    posix_spawnattr_setsigdefault(attributes.get(), &all);
    posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                                   POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int result = posix_spawn(&pid, executable.c_str(), actions.get(), attributes.get(),
                                   argv.data(), environ);
    if (result != 0) {
        throw launchError(result);
    }
    return pid;
}

class LineSplitter {
public:
    LineSplitter(const std::function<void(const std::string&)>& onLine, std::size_t lineLimit)
        : onLine_(onLine)
        , lineLimit_(lineLimit) {}

    void add(const char* bytes, std::size_t size) {
        pending_.append(bytes, size);
        std::size_t start = 0;
        for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos;
             start = end + 1) {
            deliver(std::string_view(pending_).substr(start, end - start), true);
        }
        pending_.erase(0, start);
        if (pending_.size() > lineLimit_) {
            pending_.erase(0, pending_.size() - lineLimit_);
        }
    }

    std::string finish() {
        if (!pending_.empty()) {
            deliver(pending_, false);
        }
        pending_.clear();
        return std::move(transcript_);
    }

private:
    void deliver(std::string_view bytes, bool terminated) {
        const std::string line = validUtf8(bytes);
        onLine_(line);
        transcript_ += line;
        if (terminated) {
            transcript_ += '\n';
        }
        keepLastCharacters(transcript_, transcriptLimit);
    }

    const std::function<void(const std::string&)>& onLine_;
    std::size_t lineLimit_;
    std::string pending_;
    std::string transcript_;
};

} // namespace

ProcessControl::~ProcessControl() {
    {
        std::lock_guard guard(lock_);
        closing_ = true;
    }
    reaped_.notify_all();
    if (killer_.joinable()) {
        killer_.join();
    }
}

bool ProcessControl::stopped() const {
    std::lock_guard guard(lock_);
    return stopped_;
}

void ProcessControl::cancel() {
    std::lock_guard guard(lock_);
    stopped_ = true;
    if (!running_) {
        return;
    }
    signalGroup(SIGTERM);
    if (!killer_.joinable()) {
        killer_ = std::thread([this] { killLater(); });
    }
}

// Only called with the lock held and the child not yet reaped, so its id (and the group's) cannot
// belong to another process.
void ProcessControl::signalGroup(int signal) {
    ::kill(-pid_, signal);
}

void ProcessControl::killLater() {
    std::unique_lock guard(lock_);
    reaped_.wait_for(guard, killDelay, [this] { return !running_ || closing_; });
    if (running_) {
        signalGroup(SIGKILL);
    }
}

pid_t ProcessControl::launch(const std::function<pid_t()>& spawnChild) {
    std::lock_guard guard(lock_);
    if (stopped_) {
        throw DownloadCancelled();
    }
    pid_ = spawnChild();
    running_ = true;
    return pid_;
}

int ProcessControl::reap() {
    // Wait without reaping first: until the child is reaped below, its id stays reserved.
    siginfo_t info{};
    int result;
    while ((result = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT)) < 0 &&
           errno == EINTR) {
    }
    {
        std::lock_guard guard(lock_);
        int ignored = 0;
        while (::waitpid(pid_, &ignored, 0) < 0 && errno == EINTR) {
        }
        running_ = false;
    }
    reaped_.notify_all();
    if (result < 0) {
        return -1; // collected by someone else: the outcome is unknown, never a success
    }
    return info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
}

std::string DownloadProcess::run(const std::string& executable,
                                 const std::vector<std::string>& arguments, ProcessControl& control,
                                 const std::function<void(const std::string&)>& onLine,
                                 std::size_t lineLimit) {
    if (control.stopped()) {
        throw DownloadCancelled();
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw launchError(errno);
    }
    FileDescriptor reading(ends[0]);
    FileDescriptor writing(ends[1]);

    control.launch([&] { return spawn(executable, arguments, writing.get()); });
    writing.reset(); // end of file arrives once every process holding the pipe has closed it

    LineSplitter splitter(onLine, lineLimit);
    std::string transcript;
    try {
        std::vector<char> buffer(readSize);
        for (;;) {
            const ssize_t count = ::read(reading.get(), buffer.data(), buffer.size());
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                break;
            }
            splitter.add(buffer.data(), static_cast<std::size_t>(count));
        }
        transcript = splitter.finish();
    } catch (...) {
        // A failing line handler must not leave the helper running or unreaped.
        control.cancel();
        control.reap();
        throw;
    }

    const int code = control.reap();
    if (control.stopped()) {
        throw DownloadCancelled();
    }
    if (code == 0) {
        return transcript;
    }
    throw DownloadError(downloadErrorDomain, code,
                        transcript.empty() ? "The download helper stopped unexpectedly."
                                           : transcript);
}

} // namespace quaymark
