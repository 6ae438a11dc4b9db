// SPDX-License-Identifier: GPL-3.0-or-later
#include "CatalogWork.h"

#include "app/platform/CatalogEntry.h"
#include "app/platform/DriveIdentity.h"
#include "ingest/catalog/CatalogScan.h"

namespace fs = std::filesystem;

namespace quaymark::CatalogWork {

fs::path fileOf(const fs::path& configured) {
    return configured.empty() ? catalog::Catalog::defaultFile() : configured;
}

std::optional<QString> recordImport(const fs::path& catalogFile, const fs::path& source,
                                    const fs::path& folder, const fs::path& target, bool videosOnly,
                                    const platform::SystemPaths& system) {
    try {
        catalog::Catalog catalog(fileOf(catalogFile));
        if (!catalog.readOnlyReason().empty()) {
            return QString::fromStdString(catalog.readOnlyReason());
        }
        // The card as a whole, also when only its new files were imported; a card pulled out
        // already is known by what the receipt lists.
        std::optional<catalog::CardIdentity> card;
        try {
            card = platform::listCard(source, videosOnly, CancellationFlag{}, system).card;
        } catch (const std::exception&) {
        }
        platform::recordImport(catalog, folder, target, card, system);
        return std::nullopt;
    } catch (const std::exception& error) {
        return u"The catalog did not record this import: " + QString::fromStdString(error.what());
    }
}

QString scanFolder(const fs::path& catalogFile, const fs::path& folder,
                   const CancellationFlag& cancellation) {
    try {
        catalog::Catalog catalog(fileOf(catalogFile));
        const auto result = catalog::scanIntoCatalog(
            catalog, folder,
            [&folder](const fs::path& at) { return platform::destinationIdentity(at, folder); },
            cancellation);
        QString text = u"Recorded " + QString::number(result.recorded) +
                       (result.recorded == 1 ? u" verified import folder below "
                                             : u" verified import folders below ") +
                       QString::fromStdString(folder.string()) + u".";
        if (!result.problems.empty()) {
            text += u" " + QString::number(result.problems.size()) +
                    u" could not be read, such as " +
                    QString::fromStdString(result.problems.front());
        }
        return text;
    } catch (const std::exception& error) {
        return u"The scan of " + QString::fromStdString(folder.string()) + u" stopped: " +
               QString::fromStdString(error.what());
    }
}

SourceNotice lookUpSource(const fs::path& catalogFile, const fs::path& source, bool videosOnly,
                          const platform::SystemPaths& system) {
    SourceNotice notice;
    try {
        catalog::Catalog catalog(fileOf(catalogFile));
        const auto listing = platform::listCard(source, videosOnly, CancellationFlag{}, system);
        const auto lookup = platform::lookUpCard(catalog, listing, source);
        notice.kind = lookup.kind;
        notice.text = QString::fromStdString(catalog::noticeText(lookup, videosOnly));
        notice.newFiles = lookup.newFiles;
    } catch (const std::exception&) {
        // Nothing known is nothing to say; the import reports an unreadable source itself.
    }
    return notice;
}

CardStateText cardState(const fs::path& catalogFile, const fs::path& source, bool videosOnly,
                        int required, const platform::SystemPaths& system) {
    try {
        catalog::Catalog catalog(fileOf(catalogFile));
        const auto listing = platform::listCard(source, videosOnly, CancellationFlag{}, system);
        const auto state = platform::stateOfCard(catalog, listing, source, required);
        return {QString::fromStdString(state.text()),
                state.kind == catalog::CardState::Kind::safeToFormat};
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace quaymark::CatalogWork
