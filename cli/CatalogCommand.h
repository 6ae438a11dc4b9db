// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandLine.h"
#include "Reporter.h"

namespace quaymark::cli {

// `catalog scan|find|where|card`: the memory of every verified import.
int runCatalog(const CommandLine& command, Reporter& reporter);

} // namespace quaymark::cli
