// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/downloads/ZipExtract.h"

#include "TestFiles.h"
#include "TestZip.h"
#include "app/downloads/DownloadError.h"

#include <gtest/gtest.h>

namespace quaymark {
namespace {

namespace fs = std::filesystem;
using Kind = test::ZipEntry::Kind;

TEST(ZipExtractTest, UnpacksFilesFoldersAndInnerLinks) {
    const test::TempDir root;
    const std::string big = test::patternBytes(3 << 20);
    test::writeZip(root / "a.zip", {{"tool", big},
                                    {"lib", "", Kind::Folder},
                                    {"lib/one.so", "one"},
                                    {"empty", ""},
                                    {"lib/current.so", "one.so", Kind::Link}});
    fs::create_directory(root / "out");
    extractZip(root / "a.zip", root / "out");
    EXPECT_EQ(test::listTree(root / "out"),
              (std::vector<std::string>{"empty", "lib", "lib/current.so", "lib/one.so", "tool"}));
    EXPECT_EQ(test::readFile(root / "out/tool"), big);
    EXPECT_EQ(fs::read_symlink(root / "out/lib/current.so"), "one.so");
}

TEST(ZipExtractTest, RefusesEntriesThatWouldLandOutside) {
    const test::TempDir root;
    const std::vector<std::vector<test::ZipEntry>> archives{
        {{"../outside", "x"}},
        {{"a/../../outside", "x"}},
        {{"/tmp/outside", "x"}},
        {{"link", "/tmp", Kind::Link}},
        {{"link", "../..", Kind::Link}},
        // A harmless link, then a file written through it.
        {{"real", "", Kind::Folder}, {"link", "real", Kind::Link}, {"link/outside", "x"}},
    };
    for (const auto& entries : archives) {
        SCOPED_TRACE(entries.back().name);
        const test::TempDir folder;
        test::writeZip(folder / "a.zip", entries);
        fs::create_directory(folder / "out");
        EXPECT_THROW(extractZip(folder / "a.zip", folder / "out"), DownloadError);
        EXPECT_FALSE(fs::exists(folder / "outside"));
        EXPECT_FALSE(fs::exists(folder / "out/real/outside"));
        EXPECT_FALSE(fs::exists("/tmp/outside"));
    }

    test::writeFile(root / "junk.zip", "not a zip archive");
    EXPECT_THROW(extractZip(root / "junk.zip", root.path()), DownloadError);
}

} // namespace
} // namespace quaymark
