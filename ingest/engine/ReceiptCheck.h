// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/CancellationFlag.h"
#include "ingest/records/ImportRecords.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quaymark::ImportEngine {

// What an import folder claims about itself: its receipt and, when it has one, the latest
// XXH3-128 its ASC MHL history records for each path.
struct FolderClaims {
    ImportReceipt receipt;
    std::optional<std::map<std::string, std::string>> history;
    // History generations whose bytes no longer match their C4 ID in the chain.
    std::vector<std::string> alteredGenerations;
    // What keeps the history from being read whole; the receipt's files are checked anyway.
    std::vector<std::string> historyProblems;
};

// Reads the receipt and the history; throws std::runtime_error with the text the user reads
// when the folder was never fully verified or the receipt cannot be read.
FolderClaims readClaims(const std::filesystem::path& folder);

struct ReceiptFinding {
    enum class State {
        matches,
        missing,
        changed,
        invalid,        // the receipt names a path outside its folder: never read
        unlisted,       // in the folder but not in the receipt
        historyDiffers, // the content's XXH3-128 is not the one the history records
        historyAltered, // a generation of the history does not match its chain entry
        historyGone,    // the history lists a file the folder does not hold
        historyDamaged, // the history cannot be read whole; `detail` says why
        leftover,       // a temporary file of a write that a hard stop cut short: no problem
    };
    std::string path;
    State state = State::matches;
    std::string detail;
};

// True for the findings that say the folder does not hold what it claims.
bool isProblem(ReceiptFinding::State state);

// "matches", "missing", ..., "mhl-differs", "mhl-altered", "mhl-missing", "mhl-damaged",
// "leftover": the names the command reports.
const char* stateName(ReceiptFinding::State state);

// Rereads every file the receipt lists, from storage, and compares it with the receipt and the
// history; then lists what the folder holds beyond them. Each finding is handed to `found` as
// it is made, and `read` is told of every chunk read. Called on the caller's thread.
void checkFolder(const std::filesystem::path& folder, const FolderClaims& claims,
                 const CancellationFlag& cancellation,
                 const std::function<void(ReceiptFinding)>& found,
                 const std::function<void(std::size_t)>& read);

} // namespace quaymark::ImportEngine
