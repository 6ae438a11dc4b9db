// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommandLine.h"
#include "Reporter.h"
#include "ingest/catalog/Catalog.h"
#include "ingest/records/CancellationFlag.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quaymark::cli {

// The catalog as the command's imports use it. It never fails an import: a catalog that
// cannot be opened or written is a warning, and the import goes on.
class CardMemory {
public:
    CardMemory(const CommandLine& command, Reporter& reporter);

    // The catalog opened for reading and writing, or nothing after a warning was printed.
    static std::unique_ptr<catalog::Catalog> open(const CommandLine& command, Reporter& reporter);

    struct Decision {
        bool nothingToImport = false;
        // Only these card paths; every file when absent.
        std::optional<std::vector<std::string>> onlyFiles;
    };
    // Looks the source up and prints what the catalog knows of it.
    Decision checkSource(const CommandLine& command, const CancellationFlag& cancellation);
    // Records a verified import folder made below `target`; prints a warning when it cannot.
    void recordVerified(const std::filesystem::path& folder, const std::filesystem::path& target);
    // Notes a read-back of an import folder: a passed check records the folder when unknown.
    void recordCheck(const std::filesystem::path& folder,
                     const std::optional<std::string>& failure);

    // The card as it was looked up before the import, when it was.
    const std::optional<catalog::CardIdentity>& card() const { return card_; }
    // "Safe to format: ..." for the card looked up before the import; empty when unknown.
    std::string cardStateText(const std::filesystem::path& source, int required);

private:
    Reporter& reporter_;
    std::unique_ptr<catalog::Catalog> catalog_;
    std::optional<catalog::CardIdentity> card_;
    std::vector<catalog::CardFile> files_;
};

} // namespace quaymark::cli
