// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Volumes.h"
#include "ingest/catalog/CardStatus.h"
#include "ingest/catalog/Catalog.h"
#include "ingest/records/CancellationFlag.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quaymark::platform {

// A card as it is now: its identity and the files an import would plan, from metadata only.
struct CardListing {
    catalog::CardIdentity card;
    std::vector<catalog::CardFile> files;
};

CardListing listCard(const std::filesystem::path& source, bool videosOnly,
                     const CancellationFlag& cancellation, const SystemPaths& system = {});

// What the catalog knows of the card as it is now.
catalog::CardLookup lookUpCard(catalog::Catalog& catalog, const CardListing& listing,
                               const std::filesystem::path& source);
catalog::CardState stateOfCard(catalog::Catalog& catalog, const CardListing& listing,
                               const std::filesystem::path& source, int required);

// Records a verified import folder made below `target`, with the card as listed before the
// import (for an import of new files, the listing of the whole card); without one, the card
// as its receipt lists it.
void recordImport(catalog::Catalog& catalog, const std::filesystem::path& folder,
                  const std::filesystem::path& target,
                  const std::optional<catalog::CardIdentity>& card, const SystemPaths& system = {});

} // namespace quaymark::platform
