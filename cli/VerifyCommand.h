// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandLine.h"
#include "Reporter.h"

namespace quaymark::cli {

// `verify`: rereads what an import folder's receipt lists. Returns the exit status.
int runVerify(const CommandLine& command, Reporter& reporter);

} // namespace quaymark::cli
