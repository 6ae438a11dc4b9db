// SPDX-License-Identifier: GPL-3.0-or-later
#include "CardFingerprint.h"

#include "ingest/records/IsoDate.h"
#include "ingest/records/Sha256.h"
#include "ingest/records/StoredText.h"

#include <algorithm>

namespace quaymark::catalog {

namespace {

// Length-prefixed, so that no name can imitate the boundary between two fields.
void addField(Sha256& hash, std::string_view field) {
    const std::string length = std::to_string(field.size()) + ":";
    hash.update(length.data(), length.size());
    hash.update(field.data(), field.size());
}

} // namespace

std::string modifiedText(const std::optional<Timestamp>& modified) {
    return modified ? formatIsoDate(*modified) : std::string();
}

std::vector<CardFile> cardFiles(const std::vector<SourceFile>& plan) {
    std::vector<CardFile> files;
    files.reserve(plan.size());
    for (const auto& file : plan) {
        files.push_back({file.relative, file.bytes, file.modified});
    }
    return files;
}

std::vector<CardFile> cardFiles(const std::vector<FileReceipt>& receipt) {
    std::vector<CardFile> files;
    files.reserve(receipt.size());
    for (const auto& file : receipt) {
        if (file.sourcePath) {
            files.push_back({rawText(*file.sourcePath), file.bytes, file.sourceModified});
        }
    }
    return files;
}

std::string listingDigest(std::vector<CardFile> files) {
    std::sort(files.begin(), files.end(),
              [](const CardFile& a, const CardFile& b) { return a.relative < b.relative; });
    Sha256 hash;
    for (const auto& file : files) {
        addField(hash, file.relative);
        addField(hash, std::to_string(file.bytes));
        addField(hash, modifiedText(file.modified));
    }
    return hash.finishHex();
}

std::string CardIdentity::fingerprint() const {
    Sha256 hash;
    for (const auto& part : {volumeUuid, label, reader}) {
        addField(hash, part ? "=" + *part : "-");
    }
    addField(hash, capacity ? std::to_string(*capacity) : "-");
    addField(hash, listing);
    return hash.finishHex();
}

} // namespace quaymark::catalog
