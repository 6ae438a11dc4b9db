// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/BrowserEntry.h"

#include "QtPaths.h"
#include "TestFiles.h"
#include "app/model/BrowserEntryModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <filesystem>

namespace quaymark {
namespace {

namespace fs = std::filesystem;

using test::text;

QStringList names(const QList<BrowserEntry>& entries) {
    QStringList result;
    for (const auto& entry : entries) {
        result.append(entry.path.section(QLatin1Char('/'), -1));
    }
    return result;
}

TEST(ReadDirectoryTest, FoldersFirstThenNamesByNumberWithoutCaseAndNoHiddenFiles) {
    test::TempDir folder;
    fs::create_directory(folder / "Z");
    for (const char* name : {"B", "a", "10.mov", "9.mov", ".hidden", ".DS_Store"}) {
        test::writeFile(folder / name, name);
    }
    const DirectoryListing listing = readDirectory(text(folder.path()), false);
    ASSERT_FALSE(listing.error) << listing.error->toStdString();
    EXPECT_EQ(names(listing.entries),
              (QStringList{u"Z"_qs, u"9.mov"_qs, u"10.mov"_qs, u"a"_qs, u"B"_qs}));

    const BrowserEntry& z = listing.entries[0];
    EXPECT_EQ(z.path, text(folder / "Z"));
    EXPECT_TRUE(z.isDirectory);
    EXPECT_EQ(z.bytes, 0);
    const BrowserEntry& tenMov = listing.entries[2];
    EXPECT_FALSE(tenMov.isDirectory);
    EXPECT_EQ(tenMov.bytes, 6);
    EXPECT_TRUE(tenMov.modified);
}

TEST(ReadDirectoryTest, VideoOnlyListsClipsOfEverySubFolderFlat) {
    test::TempDir folder;
    test::writeFile(folder / "DCIM/100/clip2.mov", "two");
    test::writeFile(folder / "PRIVATE/M4ROOT/CLIP/clip1.MP4", "one");
    test::writeFile(folder / "top.mov", "top");
    test::writeFile(folder / "DCIM/100/photo.jpg", "photo");
    test::writeFile(folder / "notes.txt", "notes");

    const DirectoryListing listing = readDirectory(text(folder.path()), true);
    ASSERT_FALSE(listing.error) << listing.error->toStdString();
    EXPECT_EQ(names(listing.entries),
              (QStringList{u"clip1.MP4"_qs, u"clip2.mov"_qs, u"top.mov"_qs}));
    for (const auto& entry : listing.entries) {
        EXPECT_FALSE(entry.isDirectory);
        EXPECT_EQ(entry.bytes, 3);
    }
}

TEST(ReadDirectoryTest, UnreadableFolderGivesNoEntriesAndTheReason) {
    test::TempDir folder;
    test::writeFile(folder / "file.mov", "clip");
    const DirectoryListing file = readDirectory(text(folder / "file.mov"), false);
    EXPECT_TRUE(file.entries.isEmpty());
    EXPECT_EQ(file.error, text(folder / "file.mov") + u": Not a directory");
    const DirectoryListing missing = readDirectory(text(folder / "missing"), true);
    EXPECT_TRUE(missing.entries.isEmpty());
    ASSERT_TRUE(missing.error);
    EXPECT_FALSE(missing.error->isEmpty());
}

TEST(ReadDirectoryTest, SymbolicLinksAreListedAndFlaggedButNotFollowed) {
    test::TempDir folder;
    test::writeFile(folder / "target/clip.mov", "twelve bytes");
    fs::create_directory_symlink(folder / "target", folder / "folderLink");
    fs::create_symlink(folder / "target/clip.mov", folder / "fileLink");
    fs::create_symlink(folder / "nowhere", folder / "danglingLink");

    const DirectoryListing listing = readDirectory(text(folder.path()), false);
    ASSERT_FALSE(listing.error) << listing.error->toStdString();
    ASSERT_EQ(names(listing.entries),
              (QStringList{u"target"_qs, u"danglingLink"_qs, u"fileLink"_qs, u"folderLink"_qs}));
    for (const auto& link : listing.entries.mid(1)) {
        SCOPED_TRACE(link.path.toStdString());
        EXPECT_TRUE(link.isSymbolicLink);
        EXPECT_FALSE(link.isDirectory);
        EXPECT_EQ(link.bytes, 0);
    }
}

TEST(BrowserEntryModelTest, RowsFollowTheEntriesAndAnUnchangedListingKeepsThem) {
    BrowserEntryModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy counts(&model, &BrowserEntryModel::countChanged);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    const QList<BrowserEntry> listing = {
        {u"/card/DCIM"_qs, true, false, 0, std::nullopt},
        {u"/card/A001.MOV"_qs, false, false, 4096, std::nullopt},
        {u"/card/link.mov"_qs, false, true, 0, std::nullopt},
    };
    model.setEntries(listing);
    model.setEntries(listing);
    EXPECT_EQ(model.property("count").toInt(), 3);
    EXPECT_EQ(counts.count(), 1);
    EXPECT_EQ(resets.count(), 1) << "an unchanged listing leaves the view alone";

    model.setEntries({});
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(counts.count(), 2);
}

} // namespace
} // namespace quaymark
