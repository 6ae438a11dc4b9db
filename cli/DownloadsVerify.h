// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Reporter.h"
#include "Signals.h"

#include <filesystem>

namespace quaymark::cli {

// Whether `folder` is a video project's folder: one that holds a downloads receipt.
bool holdsDownloads(const std::filesystem::path& folder);

// Checks every file of a video project's folder against its downloads receipt; 0 when all
// match, 1 otherwise, 130 when interrupted.
int verifyDownloads(const std::filesystem::path& folder, InterruptWatch& interrupts,
                    Reporter& reporter);

} // namespace quaymark::cli
