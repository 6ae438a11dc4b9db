// SPDX-License-Identifier: GPL-3.0-or-later
#include "ingest/engine/JournalWriter.h"

#include "TestFiles.h"
#include "ingest/records/IsoDate.h"
#include "ingest/records/RecordsJson.h"

#include <gtest/gtest.h>

namespace quaymark {
namespace {

// The journal is assembled from cached pieces; it must read exactly as a fresh encoding.
TEST(JournalWriter, SavesTheSameTextAsAFreshEncoding) {
    test::TempDir folder;
    SessionRecord record;
    record.source = "/media/CARD \"A\"";
    record.destination = folder.path().string();
    record.started = parseIsoDate("2025-03-01T09:30:05Z");
    record.options = {"{date}/{camera}_{time}", 4, true, "Caméra/1"};
    JournalWriter writer{record, folder.path()};
    EXPECT_EQ(writer.encode(), encodeSession(writer.record()));

    writer.setPlannedFiles({{"b.MP4", 2}, {"A.MP4", 1}, {"é.MP4", 0}});
    writer.setPartialFile("x/b.MP4", ".quaymark-1.partial");
    writer.setPartialFile("a.MP4", ".quaymark-2.partial");
    EXPECT_EQ(writer.encode(), encodeSession(writer.record()));

    for (int i = 0; i < 3; ++i) {
        writer.addCompleted(
            FileReceipt{"f" + std::to_string(i), i, std::string(64, 'c'),
                        i == 1 ? std::nullopt : std::optional(record.started),
                        i == 2 ? std::nullopt : std::optional("s\\" + std::to_string(i))});
        EXPECT_EQ(writer.encode(), encodeSession(writer.record()));
    }
    writer.setPartialFile("late.MP4", ".quaymark-3.partial");
    writer.setStatus(SessionStatus::interrupted, "Write failed for a: \"quoted\"\n (5).");
    EXPECT_EQ(writer.encode(), encodeSession(writer.record()));
    writer.save();
    EXPECT_EQ(test::readFile(folder / "_QUAYMARK_SESSION.json"), encodeSession(writer.record()));

    writer.clearCompleted();
    writer.setStatus(SessionStatus::incomplete);
    EXPECT_EQ(writer.encode(), encodeSession(writer.record()));
}

} // namespace
} // namespace quaymark
