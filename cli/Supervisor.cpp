// SPDX-License-Identifier: GPL-3.0-or-later
#include "Supervisor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace quaymark::cli {

namespace {

int statusFd = -1; // the child's end of the status pipe

sigset_t forwardedSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&set, signal);
    }
    return set;
}

int exitStatusOf(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The watcher's side: hands interrupts on until the child says how it ended, or ends without
// saying (a crash, a kill), when its own status tells.
int watch(pid_t child, int status, int signals) {
    for (;;) {
        std::array<pollfd, 2> fds{pollfd{status, POLLIN, 0}, pollfd{signals, POLLIN, 0}};
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return exitStatusOf(child);
        }
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info{};
            // One from the terminal reached the child already; only one sent here is handed on.
            if (::read(signals, &info, sizeof info) == sizeof info && info.ssi_code != SI_KERNEL) {
                ::kill(child, static_cast<int>(info.ssi_signo));
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            unsigned char said = 0;
            const ssize_t got = ::read(status, &said, 1);
            if (got == 1) {
                return said; // the child may not be reaped yet; it ends on its own
            }
            if (got == 0 || errno != EINTR) {
                return exitStatusOf(child);
            }
        }
    }
}

} // namespace

void endSupervised(int status) {
    std::fflush(nullptr);
    if (statusFd >= 0) {
        const auto said = static_cast<unsigned char>(status);
        [[maybe_unused]] const auto written = ::write(statusFd, &said, 1);
    }
    std::_Exit(status);
}

int runSupervised(const std::function<int()>& body) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        return body();
    }
    const sigset_t set = forwardedSignals();
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &set, &previous);
    std::fflush(nullptr);
    const pid_t watcher = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        statusFd = pipe[1];
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != watcher) {
            std::_Exit(137); // the watcher died before the child could ask to die with it
        }
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        endSupervised(body());
    }
    ::close(pipe[1]);
    if (child < 0) {
        ::close(pipe[0]);
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return body();
    }
    const int signals = ::signalfd(-1, &set, SFD_CLOEXEC);
    const int status = watch(child, pipe[0], signals);
    ::close(signals);
    ::close(pipe[0]);
    return status;
}

} // namespace quaymark::cli
