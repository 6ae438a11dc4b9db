// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Catalog.h"
#include "ingest/records/CancellationFlag.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quaymark::catalog {

// The catalog entry an import folder proves by its receipt and journal. The card's label,
// capacity and reader, the destination and the host are the caller's to add. Throws
// std::runtime_error, in the user's words, for a folder without a readable receipt.
CopyRecord copyRecordOf(const std::filesystem::path& folder);

using DestinationLookup = std::function<DestinationIdentity(const std::filesystem::path&)>;

struct ScanResult {
    int recorded = 0;
    // A line for each receipt that could not be read or recorded.
    std::vector<std::string> problems;
};

// Records every verified import folder below `root`. Links are not followed and an import
// folder's own contents are not searched for more. Throws QuayError::cancelled when asked to
// stop; what was recorded until then stays.
ScanResult scanIntoCatalog(Catalog& catalog, const std::filesystem::path& root,
                           const DestinationLookup& destinationOf,
                           const CancellationFlag& cancellation);

} // namespace quaymark::catalog
