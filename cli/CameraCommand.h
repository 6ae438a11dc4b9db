// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandLine.h"
#include "Reporter.h"
#include "Signals.h"

#include <string>

namespace quaymark::cli {

// The camera name read from the clips of a folder or of one clip, else "Unknown Camera".
// Stops early, with "Unknown Camera", when an interrupt comes.
std::string detectCamera(const std::string& path, InterruptWatch& interrupts);

// `camera`: prints the name for each path. Returns the exit status.
int runCamera(const CommandLine& command, Reporter& reporter);

} // namespace quaymark::cli
