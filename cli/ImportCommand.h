// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandLine.h"
#include "Reporter.h"

namespace quaymark::cli {

// `import` and `resume`: one engine run per destination, side by side. Returns the exit status.
int runImport(const CommandLine& command, Reporter& reporter);

} // namespace quaymark::cli
