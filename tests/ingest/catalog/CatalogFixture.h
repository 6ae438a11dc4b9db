// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestFiles.h"
#include "ingest/catalog/Catalog.h"
#include "ingest/records/IsoDate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace quaymark::catalog::test {

inline FileReceipt clip(const std::string& relative, std::int64_t bytes,
                        const char* modified = "2026-12-07T13:00:00Z") {
    return FileReceipt{std::filesystem::path(relative).filename().string(),
                       bytes,
                       std::string(64, static_cast<char>('a' + bytes % 6)),
                       parseIsoDate(modified),
                       relative,
                       std::string(32, 'b')};
}

inline CardFile cardFile(const FileReceipt& file) {
    return {*file.sourcePath, file.bytes, file.sourceModified};
}

inline std::vector<CardFile> cardFiles(const std::vector<FileReceipt>& files) {
    std::vector<CardFile> card;
    for (const auto& file : files) {
        card.push_back(cardFile(file));
    }
    return card;
}

inline CardIdentity cardOn(std::optional<std::string> volume,
                           std::optional<std::string> label = std::nullopt,
                           std::optional<std::int64_t> capacity = std::nullopt) {
    CardIdentity card;
    card.volumeUuid = std::move(volume);
    card.label = std::move(label);
    card.capacity = capacity;
    return card;
}

// A copy of the card "FX3_A" (volume 1234-ABCD) imported at 14:00 UTC.
inline CopyRecord copyOf(const std::filesystem::path& folder, const std::string& label,
                         const std::string& drive, std::vector<FileReceipt> files) {
    CopyRecord copy;
    copy.card.volumeUuid = "1234-ABCD";
    copy.card.label = "FX3_A";
    copy.card.listing = listingDigest(cardFiles(files));
    copy.source = "/media/card";
    copy.started = parseIsoDate("2026-12-07T14:00:00Z");
    copy.finished = parseIsoDate("2026-12-07T14:02:00Z");
    copy.verified = copy.finished;
    copy.options.cameraName = "FX3";
    copy.options.videosOnly = true;
    copy.host = "cart";
    copy.folder = folder;
    copy.destination.label = label;
    copy.destination.driveKey = drive;
    copy.files = std::move(files);
    return copy;
}

// Dates in the texts are local time: the tests read them in UTC.
class CatalogTest : public ::testing::Test {
protected:
    CatalogTest() {
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    quaymark::test::TempDir work;
    std::filesystem::path file = work / "catalog.sqlite3";
};

} // namespace quaymark::catalog::test
