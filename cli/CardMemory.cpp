// SPDX-License-Identifier: GPL-3.0-or-later
#include "CardMemory.h"

#include "app/platform/CatalogEntry.h"
#include "ingest/catalog/CardStatus.h"
#include "ingest/scan/ResolvedPath.h"

namespace fs = std::filesystem;

namespace quaymark::cli {

std::unique_ptr<catalog::Catalog> CardMemory::open(const CommandLine& command, Reporter& reporter) {
    try {
        auto opened = std::make_unique<catalog::Catalog>(
            command.catalogFile ? fs::path(*command.catalogFile) : catalog::Catalog::defaultFile());
        if (!opened->readOnlyReason().empty()) {
            reporter.notice("catalog", "Catalog: " + opened->readOnlyReason());
        }
        return opened;
    } catch (const std::exception& error) {
        reporter.notice("catalog", std::string("Catalog: cannot be opened: ") + error.what());
        return nullptr;
    }
}

CardMemory::CardMemory(const CommandLine& command, Reporter& reporter)
    : reporter_(reporter)
    , catalog_(open(command, reporter)) {}

CardMemory::Decision CardMemory::checkSource(const CommandLine& command,
                                             const CancellationFlag& cancellation) {
    Decision decision;
    if (!catalog_) {
        return decision;
    }
    try {
        const fs::path source = ImportEngine::resolvedPath(command.source);
        const auto listing = platform::listCard(source, !command.allFiles, cancellation);
        card_ = listing.card;
        files_ = listing.files;
        const auto lookup = platform::lookUpCard(*catalog_, listing, source);
        if (lookup.kind == catalog::CardLookup::Kind::notImported) {
            return decision;
        }
        reporter_.notice(catalog::toString(lookup.kind),
                         catalog::noticeText(lookup, !command.allFiles));
        if (command.skipImported && lookup.kind == catalog::CardLookup::Kind::alreadyImported) {
            decision.nothingToImport = true;
        } else if (command.skipImported && lookup.kind == catalog::CardLookup::Kind::newFiles) {
            decision.onlyFiles = lookup.newFiles;
        }
    } catch (const std::exception& error) {
        // The import itself reports a source it cannot read.
        reporter_.notice("catalog",
                         std::string("Catalog: the card was not looked up: ") + error.what());
    }
    return decision;
}

void CardMemory::recordVerified(const fs::path& folder, const fs::path& target) {
    if (!catalog_ || !catalog_->readOnlyReason().empty()) {
        return;
    }
    try {
        platform::recordImport(*catalog_, folder, target, card_);
    } catch (const std::exception& error) {
        reporter_.notice("catalog", "Catalog: " + folder.string() +
                                        " is verified but was not recorded: " + error.what());
    }
}

std::string CardMemory::cardStateText(const fs::path& source, int required) {
    if (!catalog_ || !card_) {
        return {};
    }
    try {
        const platform::CardListing listing{*card_, files_};
        return platform::stateOfCard(*catalog_, listing, ImportEngine::resolvedPath(source),
                                     required)
            .text();
    } catch (const std::exception&) {
        return {}; // the report leaves the line out; the catalog said why already
    }
}

void CardMemory::recordCheck(const fs::path& folder, const std::optional<std::string>& failure) {
    if (!catalog_ || !catalog_->readOnlyReason().empty()) {
        return;
    }
    try {
        if (!catalog_->recordCheck(folder, Clock::now(), failure) && !failure) {
            // Named as a scan of its destination would name it.
            recordVerified(folder, folder.parent_path());
            catalog_->recordCheck(folder, Clock::now(), std::nullopt);
        }
    } catch (const std::exception& error) {
        reporter_.notice("catalog", "Catalog: the check of " + folder.string() +
                                        " was not recorded: " + error.what());
    }
}

} // namespace quaymark::cli
