// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"
#include "TestFiles.h"
#include "TestMounts.h"
#include "app/platform/Bookmarks.h"
#include "app/platform/Volumes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>

namespace quaymark::platform {
namespace {

namespace fs = std::filesystem;
using test::runProcess;
using test::TempDir;

bool lists(const std::vector<VolumeInfo>& volumes, const fs::path& point) {
    return std::any_of(volumes.begin(), volumes.end(),
                       [&](const VolumeInfo& volume) { return volume.mountPoint == point; });
}

struct Format {
    std::vector<std::string> make; // the image path is appended
    std::string mountType;
    std::string fileSystem;          // as mountinfo shows it
    std::optional<std::string> uuid; // checked for shape only when absent
};

void checkCardOnLoopDevice(const Format& format) {
    TempDir dir;
    const fs::path root = fs::canonical(dir.path());
    const fs::path image = root / "card.img";
    { std::ofstream(image).flush(); }
    fs::resize_file(image, 16 << 20);
    auto command = format.make;
    command.push_back(image.string());
    if (!fs::exists(command.front())) {
        GTEST_SKIP() << command.front() << " is not installed";
    }
    const auto made = runProcess(command);
    ASSERT_EQ(made.status, 0) << made.errors;
    LoopDevice loop(image);
    if (loop.device().empty()) {
        GTEST_SKIP() << "no loop device here: " << loop.error();
    }
    const fs::path first = root / "first place";
    auto mount = std::make_unique<TestMount>(loop.device(), first, format.mountType);
    if (!mount->mounted()) {
        GTEST_SKIP() << "mounting refused: " << mount->error();
    }
    fs::create_directories(first / "DCIM/100");

    const auto volume = volumeOf(first / "DCIM/100");
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->mountPoint, first);
    EXPECT_EQ(volume->fileSystem, format.fileSystem);
    EXPECT_EQ(volume->device, loop.device());
    EXPECT_EQ(volume->name, "Card A");
    ASSERT_TRUE(volume->uuid);
    if (format.uuid) {
        EXPECT_EQ(volume->uuid, format.uuid);
    } else {
        EXPECT_EQ(volume->uuid->size(), 9u);
        EXPECT_EQ(volume->uuid->find_first_not_of("0123456789ABCDEF-"), std::string::npos);
    }
    EXPECT_EQ(volume->internal, false);
    EXPECT_EQ(volume->ejectable, true);
    EXPECT_TRUE(volume->local);
    EXPECT_TRUE(lists(mountedVolumes(), first));

    const auto bookmark = createBookmark(first / "DCIM/100");
    ASSERT_TRUE(bookmark);
    mount->unmount();
    EXPECT_FALSE(resolveBookmark(*bookmark));

    const fs::path second = root / "second\tplace";
    mount = std::make_unique<TestMount>(loop.device(), second, format.mountType);
    ASSERT_TRUE(mount->mounted()) << mount->error();
    EXPECT_EQ(resolveBookmark(*bookmark), second / "DCIM/100");
}

TEST(RealMount, Ext4CardFollowedToAnotherMountPoint) {
    checkCardOnLoopDevice({{"/usr/sbin/mkfs.ext4", "-q", "-F", "-L", "Card A", "-U",
                            "0d8e5f10-1234-4bcd-8ef0-0123456789ab"},
                           "ext4",
                           "ext4",
                           "0D8E5F10-1234-4BCD-8EF0-0123456789AB"});
}

// FUSE mounts carry an anonymous device number: the card is found through the mount's source.
TEST(RealMount, ExfatCardOverFuseFollowedToAnotherMountPoint) {
    checkCardOnLoopDevice(
        {{"/usr/sbin/mkfs.exfat", "-L", "Card A"}, "exfat-fuse", "fuseblk", std::nullopt});
}

TEST(RealMount, TmpfsIsFoundByItsEscapedMountPointButHidden) {
    TempDir dir;
    const fs::path point = fs::canonical(dir.path()) / "scratch disk";
    TestMount mount("tmpfs", point, "tmpfs");
    if (!mount.mounted()) {
        GTEST_SKIP() << "mounting refused: " << mount.error();
    }
    fs::create_directories(point / "inner");
    const auto volume = volumeOf(point / "inner");
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->mountPoint, point);
    EXPECT_EQ(volume->name, "scratch disk");
    EXPECT_FALSE(volume->uuid);
    EXPECT_TRUE(volume->hidden);
    EXPECT_FALSE(lists(mountedVolumes(), point));
    EXPECT_TRUE(lists(mountedVolumes({}, true), point));
}

} // namespace
} // namespace quaymark::platform
