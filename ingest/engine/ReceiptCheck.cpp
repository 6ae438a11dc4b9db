// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReceiptCheck.h"

#include "ingest/copy/DurableWrite.h"
#include "ingest/copy/FileDigest.h"
#include "ingest/copy/FolderBeneath.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/mhl/MhlHistory.h"
#include "ingest/records/QuayError.h"
#include "ingest/records/RecordsJson.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <set>
#include <stdexcept>

namespace quaymark::ImportEngine {

namespace fs = std::filesystem;

namespace {

using State = ReceiptFinding::State;

// A receipt names files inside its folder; anything else is not read.
bool safeRelative(const std::string& path) {
    const fs::path relative(path);
    if (path.empty() || relative.is_absolute()) {
        return false;
    }
    for (const auto& part : relative) {
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
    }
    return true;
}

bool ownDocument(const std::string& relative) {
    return relative == ImportDocuments::journal || relative == ImportDocuments::receipt ||
           relative == ImportDocuments::marker || relative == ImportDocuments::lock ||
           relative == ImportDocuments::reportCsv || relative == ImportDocuments::reportHtml ||
           relative == ImportDocuments::reportPdf || AscMhl::isDocumentPath(relative);
}

// What a durable write or a copy leaves when a hard stop cuts it short.
bool leftoverName(const std::string& name) {
    return isStatusFileName(name) ||
           (name.starts_with(ImportDocuments::partialPrefix) && name.ends_with(".partial"));
}

// The file's state against the receipt, and whether the history disagrees with its content.
std::pair<State, bool> checkFile(const fs::path& folder, const FileReceipt& file,
                                 const FolderClaims& claims, const CancellationFlag& cancellation,
                                 const std::function<void(std::size_t)>& read) {
    if (!safeRelative(file.path)) {
        return {State::invalid, false};
    }
    PlaceBeneath place;
    try {
        place = placeBeneath(folder, file.path, false);
    } catch (const QuayError&) {
        return {State::changed, false}; // a link where a folder was: not the copy
    }
    struct stat info {};
    if (!place.folder ||
        ::fstatat(place.folder.get(), place.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return {State::missing, false};
    }
    const auto& history = claims.history;
    const auto recorded =
        history ? history->find(file.path) : std::map<std::string, std::string>::const_iterator{};
    const bool listed = history && recorded != history->end();
    if (!S_ISREG(info.st_mode) || (info.st_size != file.bytes && !listed)) {
        return {State::changed, false};
    }
    const auto hashes =
        hashesAt(place.folder.get(), place.name, folder / file.path, cancellation, read);
    const bool matches = info.st_size == file.bytes && hashes.sha256 == file.sha256;
    return {matches ? State::matches : State::changed, listed && recorded->second != hashes.xxh128};
}

} // namespace

FolderClaims readClaims(const fs::path& folder) {
    return atEngineEdge([&] {
        FolderClaims claims;
        try {
            claims.receipt =
                decodeReceipt(readDocument(folder / ImportDocuments::receipt, 268'435'456,
                                           "The verification receipt is too large to read."));
        } catch (const fs::filesystem_error& error) {
            throw QuayError::unavailable("No verification receipt in " + folder.string() + ": " +
                                         error.code().message() +
                                         ". The import was never fully verified.");
        } catch (const std::exception& error) {
            throw QuayError::failed("The verification receipt in " + folder.string() +
                                    " cannot be read: " + error.what());
        }
        if (auto history = AscMhl::readHistory(folder)) {
            claims.history = std::move(history->xxh128);
            claims.alteredGenerations = std::move(history->altered);
            claims.historyProblems = std::move(history->problems);
        }
        return claims;
    });
}

const char* stateName(State state) {
    switch (state) {
    case State::matches:
        return "matches";
    case State::missing:
        return "missing";
    case State::changed:
        return "changed";
    case State::invalid:
        return "invalid";
    case State::unlisted:
        return "unlisted";
    case State::historyDiffers:
        return "mhl-differs";
    case State::historyAltered:
        return "mhl-altered";
    case State::historyGone:
        return "mhl-missing";
    case State::historyDamaged:
        return "mhl-damaged";
    case State::leftover:
        return "leftover";
    }
    return "";
}

bool isProblem(State state) {
    return state != State::matches && state != State::leftover;
}

void checkFolder(const fs::path& folder, const FolderClaims& claims,
                 const CancellationFlag& cancellation,
                 const std::function<void(ReceiptFinding)>& found,
                 const std::function<void(std::size_t)>& read) {
    return atEngineEdge([&] {
        for (const auto& problem : claims.historyProblems) {
            found({"ascmhl", State::historyDamaged, problem});
        }
        for (const auto& generation : claims.alteredGenerations) {
            found({"ascmhl/" + generation, State::historyAltered, {}});
        }
        std::set<std::string> listed;
        for (const auto& file : claims.receipt.files) {
            listed.insert(file.path);
            const auto [state, historyDiffers] =
                checkFile(folder, file, claims, cancellation, read);
            found({file.path, state, {}});
            if (historyDiffers) {
                found({file.path, State::historyDiffers, {}});
            }
        }
        for (auto it = fs::recursive_directory_iterator(folder);
             it != fs::recursive_directory_iterator(); ++it) {
            cancellation.check();
            if (it->is_directory() && !it->is_symlink()) {
                continue;
            }
            const std::string relative = it->path().lexically_relative(folder).generic_string();
            if (listed.contains(relative) || ownDocument(relative)) {
                continue;
            }
            const bool leftover = leftoverName(it->path().filename().string());
            found({relative, leftover ? State::leftover : State::unlisted, {}});
        }
        if (claims.history) {
            for (const auto& [path, digest] : *claims.history) {
                std::error_code error;
                if (!safeRelative(path) ||
                    fs::symlink_status(folder / path, error).type() == fs::file_type::not_found) {
                    found({path, State::historyGone, {}});
                }
            }
        }
    });
}

} // namespace quaymark::ImportEngine
