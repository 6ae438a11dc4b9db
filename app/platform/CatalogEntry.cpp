// SPDX-License-Identifier: GPL-3.0-or-later
#include "CatalogEntry.h"

#include "DriveIdentity.h"
#include "ingest/catalog/CatalogScan.h"
#include "ingest/engine/ImportRun.h"

#include <unistd.h>

#include <array>

namespace fs = std::filesystem;

namespace quaymark::platform {

namespace {

std::string hostName() {
    std::array<char, 256> name{};
    return ::gethostname(name.data(), name.size() - 1) == 0 ? std::string(name.data())
                                                            : std::string();
}

} // namespace

CardListing listCard(const fs::path& source, bool videosOnly, const CancellationFlag& cancellation,
                     const SystemPaths& system) {
    CardListing listing;
    listing.files =
        catalog::cardFiles(ImportEngine::plannedFiles(source, videosOnly, cancellation));
    listing.card = cardIdentity(source, listing.files, system);
    return listing;
}

catalog::CardLookup lookUpCard(catalog::Catalog& catalog, const CardListing& listing,
                               const fs::path& source) {
    return catalog::lookUpCard(catalog.history(listing.card, source.string()), listing.files);
}

catalog::CardState stateOfCard(catalog::Catalog& catalog, const CardListing& listing,
                               const fs::path& source, int required) {
    return catalog::cardState(catalog.history(listing.card, source.string()), listing.files,
                              required);
}

void recordImport(catalog::Catalog& catalog, const fs::path& folder, const fs::path& target,
                  const std::optional<catalog::CardIdentity>& card, const SystemPaths& system) {
    catalog::CopyRecord copy = catalog::copyRecordOf(folder);
    copy.card = card ? *card : cardIdentity(copy.source, catalog::cardFiles(copy.files), system);
    copy.destination = destinationIdentity(folder, target, system);
    copy.host = hostName();
    catalog.record(copy);
}

} // namespace quaymark::platform
