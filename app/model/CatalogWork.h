// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/platform/Volumes.h"
#include "ingest/catalog/CardStatus.h"
#include "ingest/records/CancellationFlag.h"

#include <QString>
#include <QStringList>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quaymark {

// The catalog work of the window, each a blocking call for a worker thread. The catalog is a
// memory beside the proof: when it cannot be read or written these say so and change nothing
// else.
namespace CatalogWork {

// The catalog file: `configured`, else the one in the data folder.
std::filesystem::path fileOf(const std::filesystem::path& configured);

// Records a verified import folder, with the card as it is now; what went wrong, if anything,
// in the user's words, with the reason.
std::optional<QString> recordImport(const std::filesystem::path& catalogFile,
                                    const std::filesystem::path& source,
                                    const std::filesystem::path& folder,
                                    const std::filesystem::path& target, bool videosOnly,
                                    const platform::SystemPaths& system);

struct SourceNotice {
    catalog::CardLookup::Kind kind = catalog::CardLookup::Kind::notImported;
    QString text;
    // The card paths of the new files, as the card names them.
    std::vector<std::string> newFiles;
};

// What the catalog says of the card at `source`; nothing to say when it cannot be read.
SourceNotice lookUpSource(const std::filesystem::path& catalogFile,
                          const std::filesystem::path& source, bool videosOnly,
                          const platform::SystemPaths& system);

// Records every verified import folder below `folder`; what was done, in the user's words.
QString scanFolder(const std::filesystem::path& catalogFile, const std::filesystem::path& folder,
                   const CancellationFlag& cancellation);

struct CardStateText {
    // "Safe to format: 2 verified copies on 2 drives", ...; empty when the catalog cannot say.
    QString text;
    bool safeToFormat = false;
};

CardStateText cardState(const std::filesystem::path& catalogFile,
                        const std::filesystem::path& source, bool videosOnly, int required,
                        const platform::SystemPaths& system);

} // namespace CatalogWork

} // namespace quaymark
