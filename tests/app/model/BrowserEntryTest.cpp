// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/BrowserEntry.h"

#include "QtPaths.h"
#include "TestFiles.h"

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

TEST(ReadDirectoryTest, FoldersFirstThenNamesByNumberWithoutCaseLinksNotFollowed) {
    test::TempDir folder;
    fs::create_directory(folder / "Z");
    for (const char* name : {"B", "a", "10.mov", "9.mov", ".hidden", ".DS_Store"}) {
        test::writeFile(folder / name, name);
    }
    fs::create_directory_symlink(folder / "Z", folder / "folderLink");
    fs::create_symlink(folder / "10.mov", folder / "fileLink");
    fs::create_symlink(folder / "nowhere", folder / "danglingLink");
    const DirectoryListing listing = readDirectory(text(folder.path()), false);
    ASSERT_FALSE(listing.error) << listing.error->toStdString();
    ASSERT_EQ(names(listing.entries),
              (QStringList{u"Z"_qs, u"9.mov"_qs, u"10.mov"_qs, u"a"_qs, u"B"_qs, u"danglingLink"_qs,
                           u"fileLink"_qs, u"folderLink"_qs}));

    const BrowserEntry& z = listing.entries[0];
    EXPECT_EQ(z.path, text(folder / "Z"));
    EXPECT_TRUE(z.isDirectory);
    const BrowserEntry& tenMov = listing.entries[2];
    EXPECT_FALSE(tenMov.isDirectory || tenMov.isSymbolicLink);
    EXPECT_EQ(tenMov.bytes, 6);
    EXPECT_TRUE(tenMov.modified);
    for (const auto& link : listing.entries.mid(5)) {
        SCOPED_TRACE(link.path.toStdString());
        EXPECT_TRUE(link.isSymbolicLink);
        EXPECT_FALSE(link.isDirectory);
        EXPECT_EQ(link.bytes, 0);
    }
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

} // namespace
} // namespace quaymark
