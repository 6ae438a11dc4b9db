// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Catalog.h"

#include <optional>
#include <string>
#include <vector>

namespace quaymark::catalog {

// What the catalog knows of a card as it is now.
struct CardLookup {
    enum class Kind {
        notImported,
        alreadyImported, // every file has a verified copy
        newFiles,        // earlier files unchanged, and new ones beside them
        reused,          // a path imported before now holds another file
    };
    Kind kind = Kind::notImported;
    // The latest verified import of the card's files.
    std::optional<Timestamp> importedAt;
    // Labels of the destinations holding it, in the order they were copied.
    std::vector<std::string> destinations;
    std::vector<std::string> newFiles;
    std::vector<std::string> reusedPaths;
};

// "notImported", "alreadyImported", "newFiles" or "reused": the name scripts and views use.
const char* toString(CardLookup::Kind kind);

CardLookup lookUpCard(const CatalogFiles& history, const std::vector<CardFile>& card);

// "Already imported on Tue 7 Dec 14:02 to RAID_A and SHUTTLE_2 (verified).", "12 new clips
// since the import of 14:02.", or the warning for a reused path; empty when not imported.
std::string noticeText(const CardLookup& lookup, bool videosOnly, Timestamp now = Clock::now());

// Whether a card may be formatted: every file on `required` distinct drives in verified copies,
// and nothing added, removed or changed since.
struct CardState {
    enum class Kind { notImported, importing, copies, changed, safeToFormat };
    Kind kind = Kind::notImported;
    // The fewest verified copies, and distinct drives, that any file of the card has.
    int copies = 0;
    int drives = 0;
    int required = 2;

    // "Safe to format: 2 verified copies on 2 drives", "1 verified copy: one more drive
    // needed", ...
    std::string text() const;
};

CardState cardState(const CatalogFiles& history, const std::vector<CardFile>& card, int required);

// "Tue 7 Dec 14:02" in local time.
std::string dayAndTime(Timestamp when);

} // namespace quaymark::catalog
