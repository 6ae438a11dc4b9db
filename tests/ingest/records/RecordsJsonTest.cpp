// SPDX-License-Identifier: GPL-3.0-or-later
#include "ingest/records/RecordsJson.h"

#include "ingest/records/IsoDate.h"
#include "ingest/records/StoredText.h"

#include <gtest/gtest.h>

#include <set>

namespace quaymark {
namespace {

Timestamp at(const char* iso) {
    return parseIsoDate(iso);
}

SessionRecord fullRecord() {
    SessionRecord record;
    record.source = "/media/CARD\377";
    record.sourceVolume = "0A1B2C3D-0000-4000-8000-000000000001";
    record.destination = "/srv/footage/2025-03-01/CAM-1_093005";
    record.started = at("2025-03-01T09:30:05Z");
    record.options = {"{date}/{camera}_{time}", 2, true, "CAM-1"};
    // Names that are not UTF-8 come from cards as they are, and must come back the same.
    record.completed = {
        {"C\37701.MP4", 1024, std::string(64, 'a'), at("2025-02-28T18:00:00Z"), "DCIM/C\37701.MP4",
         std::string(32, 'f')},
        // As journals written before XXH3 have it.
        {"C0002.MP4", 0, std::string(64, 'b'), std::nullopt, std::nullopt},
    };
    record.status = "interrupted";
    record.failure = "Import cancelled. Completed files remain in the import folder.";
    record.partialFiles = std::map<std::string, std::string>{
        {"DCIM/C0003.MP4", ".quaymark-0A1B2C3D-0000-4000-8000-000000000002.partial"},
        {"DCIM/B.MP4", ".quaymark-0A1B2C3D-0000-4000-8000-000000000003.partial"},
        {"DCIM/\376.MP4", "\376.partial"}};
    record.plannedFiles = std::map<std::string, std::int64_t>{
        {"Z.MP4", 5}, {"C0001.MP4", 1024}, {"a.MP4", 3}, {"C\376.MP4", 2}};
    return record;
}

TEST(RecordsJson, SessionRoundTripsWithSortedKeysAtEveryLevel) {
    const SessionRecord record = fullRecord();
    const std::string text = encodeSession(record);
    EXPECT_EQ(decodeSession(text), record);
    EXPECT_LT(text.find("\"completed\""), text.find("\"destination\""));
    EXPECT_LT(text.find("\"sourceVolume\""), text.find("\"started\""));
    EXPECT_NE(text.find("\"started\": \"2025-03-01T09:30:05Z\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"xxh128\": \"" + std::string(32, 'f') + "\""), std::string::npos);
    EXPECT_NE(text.find("\n  \"completed\""), std::string::npos) << "pretty-printed:\n" << text;
    EXPECT_LT(text.find("\"DCIM/B.MP4\""), text.find("\"DCIM/C0003.MP4\""));
    EXPECT_LT(text.find("\"C0001.MP4\": 1024"), text.find("\"Z.MP4\""));
    EXPECT_LT(text.find("\"Z.MP4\""), text.find("\"a.MP4\"")) << "byte order, not case-blind";
    EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << "nothing replaced";
}

// The receipt's published form has no XXH3 values; they live in the journal and the MHL.
TEST(RecordsJson, ReceiptRoundTripsWithoutXxh128) {
    ImportReceipt receipt;
    receipt.files = fullRecord().completed;
    EXPECT_EQ(encodeReceipt(receipt).find("xxh128"), std::string::npos);
    receipt.files[0].xxh128.reset();
    EXPECT_EQ(decodeReceipt(encodeReceipt(receipt)), receipt);
}

TEST(IsoDate, WholeSecondsInUtcAndStrictParsing) {
    const Timestamp date =
        Timestamp{std::chrono::seconds{1740821405}} + std::chrono::milliseconds{999};
    EXPECT_EQ(formatIsoDate(date), "2025-03-01T09:30:05Z");
    EXPECT_EQ(parseIsoDate("2025-03-01T09:30:05Z"), Timestamp{std::chrono::seconds{1740821405}});
    for (const char* bad : {"2025-03-01 09:30:05Z", "2025-03-01T09:30:05", "2025-13-01T09:30:05Z",
                            "2025-03-01T09:30:05+01:00", "yesterday"}) {
        EXPECT_THROW(parseIsoDate(bad), std::invalid_argument) << bad;
    }
}

TEST(StoredText, KeepsEveryNameDistinctAndReversible) {
    const std::vector<std::string> names = {"DCIM/C0001.MP4",
                                            "Caméra/été.MOV",
                                            "C\37701.MP4",
                                            "C\37601.MP4",
                                            "\303A.MOV",
                                            "\xEF\x9E\x80 already a byte character",
                                            std::string("nul\0in", 6)};
    std::set<std::string> stored;
    for (const auto& name : names) {
        const std::string text = storedText(name);
        EXPECT_EQ(rawText(text), name);
        EXPECT_TRUE(stored.insert(text).second) << "collides: " << text;
        EXPECT_NO_THROW((void)nlohmann::json(text).dump()) << "valid UTF-8 for the documents";
    }
    EXPECT_EQ(storedText("Caméra/été.MOV"), "Caméra/été.MOV") << "valid text is unchanged";
}

} // namespace
} // namespace quaymark
