// SPDX-License-Identifier: GPL-3.0-or-later
#include "CatalogFixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <set>
#include <thread>

namespace quaymark::catalog::test {
namespace {

std::set<std::string> foldersOf(const CatalogFiles& found) {
    std::set<std::string> folders;
    for (const auto& file : found.files) {
        folders.insert((found.copies[file.copy].folder / file.output).string());
    }
    return folders;
}

std::int64_t countOf(const std::filesystem::path& file, const std::string& table) {
    SqliteDatabase database(file, SqliteDatabase::Access::readOnly);
    return database.integer("SELECT count(*) FROM " + table);
}

TEST_F(CatalogTest, FindsFilesByNameCameraLabelDateAndHashAndKeepsOneEntryPerFolder) {
    Catalog catalog(file);
    auto files =
        std::vector{clip("PRIVATE/M4ROOT/CLIP/C0001.MP4", 1000), clip("DCIM/100/A0001.MP4", 2000)};
    files[1].sha256 = "0123456789abcdef" + std::string(48, 'e');
    catalog.record(copyOf("/raid/day1", "RAID_A", "wwn:1", files));
    // The same folder again, as a scan after an import records it: one entry, not two.
    catalog.record(copyOf("/raid/day1", "RAID_A", "wwn:1", files));

    EXPECT_EQ(foldersOf(catalog.find("c0001")), (std::set<std::string>{"/raid/day1/C0001.MP4"}));
    EXPECT_EQ(foldersOf(catalog.find("fx3 A00")), (std::set<std::string>{"/raid/day1/A0001.MP4"}))
        << "every word, each a prefix, over name, camera and card label";
    EXPECT_EQ(foldersOf(catalog.find("fx3_a")).size(), 2u);
    EXPECT_EQ(foldersOf(catalog.find("2026-12-07")).size(), 2u);
    EXPECT_EQ(foldersOf(catalog.find("0123456789AB")),
              (std::set<std::string>{"/raid/day1/A0001.MP4"}));
    EXPECT_TRUE(catalog.find("\"unbalanced OR NEAR(").files.empty()) << "not read as syntax";
    EXPECT_TRUE(catalog.find("  ").files.empty());

    EXPECT_EQ(foldersOf(catalog.where("0123456789abcdef")),
              (std::set<std::string>{"/raid/day1/A0001.MP4"}));
    EXPECT_EQ(foldersOf(catalog.where("CLIP/C0001.MP4")),
              (std::set<std::string>{"/raid/day1/C0001.MP4"}));
    EXPECT_TRUE(catalog.where("0001.MP4").files.empty()) << "whole path components only";
    EXPECT_EQ(countOf(file, "copies"), 1);
    EXPECT_EQ(countOf(file, "file_words"), 2);
}

TEST_F(CatalogTest, ACatalogFromANewerBuildOpensReadOnlyAndSaysSo) {
    Catalog(file).record(copyOf("/raid/day1", "RAID_A", "wwn:1", {clip("C0001.MP4", 5)}));
    SqliteDatabase(file, SqliteDatabase::Access::readWrite).execute("PRAGMA user_version = 99");

    Catalog newer(file);
    EXPECT_EQ(newer.readOnlyReason(),
              "This catalog was written by a newer version of Quaymark. It is open read-only.");
    EXPECT_EQ(newer.where("C0001.MP4").files.size(), 1u) << "still answers";
    EXPECT_THROW(newer.record(copyOf("/raid/day2", "RAID_A", "wwn:1", {clip("C0002.MP4", 5)})),
                 DatabaseError);
    SqliteDatabase database(file, SqliteDatabase::Access::readOnly);
    EXPECT_EQ(database.integer("PRAGMA user_version"), 99) << "never migrated backwards";
}

// The application and the command write at the same time: each waits its turn.
TEST_F(CatalogTest, TwoWritersAtOnceLoseNothing) {
    Catalog{file}; // created before the race, as the first start of either would
    const auto writer = [&](const std::string& name) {
        Catalog catalog(file);
        for (int i = 0; i < 40; ++i) {
            catalog.record(copyOf("/" + name + "/" + std::to_string(i), name, name,
                                  {clip("C" + std::to_string(i) + ".MP4", 10 + i)}));
        }
    };
    {
        std::jthread first(writer, "app");
        std::jthread second(writer, "command");
    }
    EXPECT_EQ(countOf(file, "copies"), 80);
    EXPECT_EQ(countOf(file, "files"), 80);
}

// Killed mid-write, again and again: every transaction is whole or absent.
TEST_F(CatalogTest, AHardStopInAWriteLoopLeavesAConsistentCatalog) {
    Catalog{file};
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Catalog catalog(file);
        std::vector<FileReceipt> files;
        for (int i = 0; i < 50; ++i) {
            files.push_back(clip("CLIP/C" + std::to_string(i) + ".MP4", 100 + i));
        }
        for (int i = 0;; ++i) {
            catalog.record(copyOf("/raid/" + std::to_string(i), "RAID_A", "wwn:1", files));
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (countOf(file, "copies") < 5 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    Catalog reopened(file);
    EXPECT_TRUE(reopened.readOnlyReason().empty());
    SqliteDatabase database(file, SqliteDatabase::Access::readOnly);
    Statement check = database.prepare("PRAGMA integrity_check");
    ASSERT_TRUE(check.step());
    EXPECT_EQ(check.text(0), "ok");
    const std::int64_t copies = countOf(file, "copies");
    EXPECT_GE(copies, 5);
    EXPECT_EQ(countOf(file, "files"), copies * 50);
    EXPECT_EQ(countOf(file, "file_words"), copies * 50);
}

} // namespace
} // namespace quaymark::catalog::test
