// SPDX-License-Identifier: GPL-3.0-or-later
#include "ingest/catalog/CardStatus.h"

#include "CatalogFixture.h"

namespace quaymark::catalog::test {
namespace {

const std::vector<FileReceipt> card = {clip("PRIVATE/M4ROOT/CLIP/C0001.MP4", 1000),
                                       clip("PRIVATE/M4ROOT/CLIP/C0002.MP4", 2000)};

TEST(CardFingerprint, TheListingIgnoresOrderAndSeesEveryChange) {
    const std::string listing = listingDigest(cardFiles(card));
    EXPECT_EQ(listingDigest({cardFile(card[1]), cardFile(card[0])}), listing);
    EXPECT_NE(listingDigest({cardFile(card[0])}), listing) << "a file removed";
    auto added = cardFiles(card);
    added.push_back({"C0003.MP4", 1, std::nullopt});
    EXPECT_NE(listingDigest(added), listing);
    auto resized = cardFiles(card);
    resized[0].bytes += 1;
    EXPECT_NE(listingDigest(resized), listing);
    auto touched = cardFiles(card);
    touched[1].modified = parseIsoDate("2026-12-07T13:00:01Z");
    EXPECT_NE(listingDigest(touched), listing);
    // No name can stand in for the boundary between name and size.
    EXPECT_NE(listingDigest({{"X1", 23, std::nullopt}}), listingDigest({{"X", 123, std::nullopt}}));

    CardIdentity identity{"1234-ABCD", "FX3_A", 64'000'000'000, "pci-0000:00:14.0-usb-0:2:1.0",
                          listing,     2};
    CardIdentity other = identity;
    other.volumeUuid = "9999-0000";
    EXPECT_NE(identity.fingerprint(), other.fingerprint());
    other = identity;
    other.label = std::nullopt;
    EXPECT_NE(identity.fingerprint(), other.fingerprint());
}

TEST_F(CatalogTest, SafeToFormatCountsDrivesNotFoldersAndNeedsTheCardUnchanged) {
    Catalog catalog(file);
    const auto stateOf = [&](const std::vector<CardFile>& files, int required = 2) {
        return cardState(catalog.history(cardOn("1234-ABCD"), "/media/card"), files, required);
    };
    const auto files = cardFiles(card);
    EXPECT_EQ(stateOf(files).text(), "Not imported");

    catalog.record(copyOf("/raid/a/day1", "RAID_A", "wwn:1", card));
    EXPECT_EQ(stateOf(files).text(), "1 verified copy: one more drive needed");
    EXPECT_EQ(stateOf(files, 1).text(), "Safe to format: 1 verified copy on 1 drive");
    catalog.record(copyOf("/raid/b/day1", "RAID_A", "wwn:1", card));
    EXPECT_EQ(stateOf(files).text(), "2 verified copies on 1 drive: one more drive needed");
    EXPECT_EQ(stateOf(files, 4).kind, CardState::Kind::copies);
    EXPECT_EQ(stateOf(files, 4).text(), "2 verified copies on 1 drive: three more drives needed");

    catalog.record(copyOf("/shuttle/day1", "SHUTTLE_2", "volume:5678", card));
    const CardState safe = stateOf(files);
    EXPECT_EQ(safe.kind, CardState::Kind::safeToFormat);
    EXPECT_EQ(safe.text(), "Safe to format: 3 verified copies on 2 drives");

    // A clip added, a clip changed, a clip gone: the card is no longer what was copied.
    auto added = files;
    added.push_back({"PRIVATE/M4ROOT/CLIP/C0003.MP4", 10, std::nullopt});
    EXPECT_EQ(stateOf(added).text(), "Changed since its import: not safe to format");
    auto changed = files;
    changed[0].bytes = 999;
    EXPECT_EQ(stateOf(changed).kind, CardState::Kind::changed);
    EXPECT_EQ(stateOf({files[0]}).kind, CardState::Kind::changed);

    // A copy that failed its check no longer counts; a later good check restores it.
    ASSERT_TRUE(catalog.recordCheck("/shuttle/day1", Clock::now(), "2 files changed"));
    EXPECT_EQ(stateOf(files).kind, CardState::Kind::copies);
    ASSERT_TRUE(catalog.recordCheck("/shuttle/day1", Clock::now(), std::nullopt));
    EXPECT_EQ(stateOf(files).kind, CardState::Kind::safeToFormat);
    EXPECT_FALSE(catalog.recordCheck("/elsewhere", Clock::now(), std::nullopt));
}

TEST_F(CatalogTest, ACardIsAlreadyImportedHasNewFilesOrWasReused) {
    Catalog catalog(file);
    catalog.record(copyOf("/raid/day1", "RAID_A", "wwn:1", card));
    catalog.record(copyOf("/shuttle/day1", "SHUTTLE_2", "wwn:2", card));
    const auto notice = [&](const std::vector<CardFile>& files, bool videosOnly = true,
                            const char* now = "2026-12-07T20:00:00Z") {
        const auto lookup = lookUpCard(catalog.history(cardOn("1234-ABCD"), "/media/card"), files);
        return noticeText(lookup, videosOnly, parseIsoDate(now));
    };
    auto files = cardFiles(card);
    EXPECT_EQ(notice(files), "Already imported on Mon 7 Dec 14:02 to RAID_A and SHUTTLE_2 "
                             "(verified).");

    files.push_back({"PRIVATE/M4ROOT/CLIP/C0003.MP4", 10, std::nullopt});
    EXPECT_EQ(notice(files), "1 new clip since the import of 14:02.");
    files.push_back({"PRIVATE/M4ROOT/CLIP/C0004.MP4", 10, std::nullopt});
    EXPECT_EQ(notice(files, false, "2026-12-08T09:00:00Z"),
              "2 new files since the import of Mon 7 Dec 14:02.");
    const auto lookup = lookUpCard(catalog.history(cardOn("1234-ABCD"), "/media/card"), files);
    EXPECT_EQ(lookup.newFiles, (std::vector<std::string>{"PRIVATE/M4ROOT/CLIP/C0003.MP4",
                                                         "PRIVATE/M4ROOT/CLIP/C0004.MP4"}));

    // Same paths, other files: a formatted card in use again, never silently skipped.
    files[0].modified = parseIsoDate("2026-12-09T08:00:00Z");
    EXPECT_EQ(notice(files), "C0001.MP4 differs from the C0001.MP4 imported on Mon 7 Dec: this "
                             "card was probably formatted and reused.");
    files[1].bytes = 1;
    EXPECT_EQ(notice(files), "C0001.MP4 differs from the C0001.MP4 imported on Mon 7 Dec (and 1 "
                             "more file): this card was probably formatted and reused.");

    // Another card, even with the same clip names, knows nothing of these imports.
    EXPECT_TRUE(catalog.history(cardOn("9999-0000", "FX3_B"), "/media/other").files.empty());
    EXPECT_EQ(catalog.history(cardOn(std::nullopt, "FX3_A", 1), "/x").files.size(), 0u)
        << "a label matches only with the same capacity";
}

} // namespace
} // namespace quaymark::catalog::test
