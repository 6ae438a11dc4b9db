// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandLine.h"
#include "Reporter.h"

namespace quaymark::cli {

// `report`: the handover report of verified import folders.
int runReport(const CommandLine& command, Reporter& reporter);

} // namespace quaymark::cli
