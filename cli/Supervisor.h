// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace quaymark::cli {

// An import's work runs in a child process that this one watches. A thread stuck in the kernel
// on a share that stopped answering (a write or flush the server had already taken) keeps its
// process alive whatever it is sent; the user's shell waits only for the watcher, which ends as
// soon as the child says how it ended.
//
// Runs `body` in a child and returns its exit status. Interrupts sent to this process alone
// are handed on to the child (a Ctrl-C at the terminal reaches both already); the child is
// killed if this process dies, so that a hard stop stays one.
int runSupervised(const std::function<int()>& body);

// In the child: flushes the output, says how it ends, and ends at once.
[[noreturn]] void endSupervised(int status);

} // namespace quaymark::cli
