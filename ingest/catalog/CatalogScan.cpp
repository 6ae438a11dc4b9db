// SPDX-License-Identifier: GPL-3.0-or-later
#include "CatalogScan.h"

#include "ingest/copy/SessionDocuments.h"
#include "ingest/engine/ReceiptCheck.h"

namespace fs = std::filesystem;

namespace quaymark::catalog {

CopyRecord copyRecordOf(const fs::path& folder) {
    ImportReceipt receipt = ImportEngine::readClaims(folder).receipt;
    CopyRecord copy;
    copy.source = receipt.source;
    copy.started = receipt.started;
    copy.finished = receipt.finished;
    copy.verified = receipt.finished;
    copy.folder = folder;
    try {
        const SessionRecord session = ImportEngine::readSession(folder);
        copy.card.volumeUuid = session.sourceVolume;
        copy.options = session.options;
    } catch (const std::exception&) {
        // The receipt alone proves the copy; the journal only adds the card's volume and mode.
    }
    const std::vector<CardFile> files = cardFiles(receipt.files);
    copy.card.listing = listingDigest(files);
    copy.card.fileCount = static_cast<std::int64_t>(files.size());
    copy.files = std::move(receipt.files);
    return copy;
}

namespace {

bool holdsReceipt(const fs::path& folder) {
    std::error_code error;
    return fs::symlink_status(folder / ImportDocuments::receipt, error).type() ==
           fs::file_type::regular;
}

} // namespace

ScanResult scanIntoCatalog(Catalog& catalog, const fs::path& root,
                           const DestinationLookup& destinationOf,
                           const CancellationFlag& cancellation) {
    ScanResult result;
    const auto recordFolder = [&](const fs::path& folder) {
        try {
            CopyRecord copy = copyRecordOf(folder);
            copy.destination = destinationOf(folder);
            catalog.record(copy);
            ++result.recorded;
        } catch (const std::exception& error) {
            result.problems.push_back(folder.string() + ": " + error.what());
        }
    };
    if (holdsReceipt(root)) {
        recordFolder(root);
        return result;
    }
    std::error_code error;
    fs::recursive_directory_iterator walk(root, fs::directory_options::skip_permission_denied,
                                          error);
    if (error) {
        throw fs::filesystem_error("Cannot read the folder", root, error);
    }
    for (; walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        cancellation.check();
        if (error) {
            result.problems.push_back(root.string() + ": " + error.message());
            break;
        }
        if (walk->is_symlink(error) || !walk->is_directory(error)) {
            continue;
        }
        if (holdsReceipt(walk->path())) {
            recordFolder(walk->path());
            walk.disable_recursion_pending();
        }
    }
    return result;
}

} // namespace quaymark::catalog
