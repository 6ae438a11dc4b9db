// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFiles.h"
#include "app/platform/Bookmarks.h"
#include "app/platform/Volumes.h"

#include <gtest/gtest.h>

namespace quaymark::platform {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::writeFile;

std::string escapeMountField(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == ' ' ? std::string("\\040") : std::string(1, c);
    }
    return out;
}

// A machine with an internal NVMe disk, a USB card reader, a USB SSD, a disk image and
// network shares, described by fake sysfs, mountinfo and /dev/disk/by-uuid trees.
class FakeMachine : public ::testing::Test {
protected:
    FakeMachine() {
        const fs::path pci = "devices/pci0000:00/0000:00:14.0";
        link("bus/pci", pci / "subsystem");
        link("bus/usb", pci / "usb1/1-2/subsystem");
        link("bus/usb", pci / "usb1/1-3/subsystem");
        blockDevice("259:2", pci / "nvme/nvme0/nvme0n1", "nvme0n1p2", "0");
        blockDevice("8:17", pci / "usb1/1-2/1-2:1.0/host3/target3:0:0/3:0:0:0/block/sdb", "sdb1",
                    "1");
        blockDevice("8:33", pci / "usb1/1-3/1-3:1.0/host4/target4:0:0/4:0:0:0/block/sdc", "sdc1",
                    "0");
        blockDevice("7:77", "devices/virtual/block/loop77", "", "0");
        link("../../sdb1", "../by-uuid/3a1f-0c22");
        link("../../sdc1", "../by-uuid/0d8e5f10-aaaa-bbbb-cccc-0123456789ab");
        fs::create_directories(root_ / "by-uuid/unrelated");
    }

    SystemPaths paths() const { return {root_ / "mountinfo", root_ / "sys", root_ / "by-uuid"}; }

    // Mount points are folders of the test, so that paths on them exist.
    fs::path at(const std::string& relative) const {
        return relative.empty() ? root_ / "mnt" : root_ / "mnt" / relative;
    }

    void mountTable(const std::vector<std::string>& lines) {
        std::string text;
        int id = 100;
        for (const auto& line : lines) {
            text += std::to_string(id++) + " 1 " + line + "\n";
        }
        writeFile(root_ / "mountinfo", text);
    }

    // "M:m root point fs source" with the point relative to the test's mount folder.
    std::string mountLine(const std::string& device, const std::string& point,
                          const std::string& type, const std::string& source,
                          const std::string& root = "/") {
        fs::create_directories(at(point));
        return device + " " + root + " " + escapeMountField(at(point).string()) +
               " rw,nosuid shared:7 - " + type + " " + source + " rw";
    }

    std::vector<std::string> standardMounts() {
        return {"0:21 / /proc rw - proc proc rw",
                "0:23 / /dev/shm rw - tmpfs tmpfs rw",
                "0:24 / /run/user/1000 rw - tmpfs tmpfs rw",
                mountLine("259:2", "", "ext4", "/dev/nvme0n1p2"),
                mountLine("8:17", "EOS DIGITAL", "exfat", "/dev/sdb1"),
                mountLine("8:33", "x", "ext4", "/dev/sdc1"),
                mountLine("7:77", "xy", "ext4", "/dev/loop77"),
                mountLine("0:50", "share", "nfs4", "server:/export"),
                mountLine("0:51", "smb", "cifs", "//nas/video"),
                mountLine("0:52", "remote", "fuse.sshfs", "u@host:"),
                mountLine("0:53", "scratch", "tmpfs", "tmpfs"),
                mountLine("259:2", "bound", "ext4", "/dev/nvme0n1p2", "/srv")};
    }

private:
    void link(const fs::path& target, const fs::path& where) {
        fs::create_directories((root_ / "sys" / where).parent_path());
        fs::create_symlink(target, root_ / "sys" / where);
    }

    void blockDevice(const std::string& number, const fs::path& disk, const std::string& partition,
                     const std::string& removable) {
        writeFile(root_ / "sys" / disk / "removable", removable + "\n");
        fs::path device = disk;
        if (!partition.empty()) {
            device /= partition;
            writeFile(root_ / "sys" / device / "partition", "1\n");
        }
        link(fs::path("../..") / device, fs::path("dev/block") / number);
    }

    TempDir dir_;
    fs::path root_ = fs::canonical(dir_.path());
};

TEST_F(FakeMachine, ReadsEachKindOfVolume) {
    mountTable(standardMounts());
    using Flag = std::optional<bool>;
    const struct {
        std::string path;
        std::string name;
        std::optional<std::string> uuid;
        Flag internal, removable, ejectable;
        bool local;
    } cases[] = {
        // A card in a USB reader.
        {"EOS DIGITAL/DCIM", "EOS DIGITAL", "3A1F-0C22", false, true, true, true},
        // A USB SSD: not removable media, yet external.
        {"x", "x", "0D8E5F10-AAAA-BBBB-CCCC-0123456789AB", false, false, true, true},
        // A mounted disk image.
        {"xy/a", "xy", std::nullopt, false, false, true, true},
        {"share/clips", "share", std::nullopt, false, false, false, false},
        {"smb", "smb", std::nullopt, false, false, false, false},
        {"remote", "remote", std::nullopt, false, false, false, false},
        {"scratch", "scratch", std::nullopt, std::nullopt, std::nullopt, std::nullopt, true},
        {"plain", "mnt", std::nullopt, true, false, false, true}, // on the internal disk
    };
    for (const auto& c : cases) {
        fs::create_directories(at(c.path));
        const auto volume = volumeOf(at(c.path), paths());
        ASSERT_TRUE(volume) << c.path;
        EXPECT_EQ(volume->name, c.name) << c.path;
        EXPECT_EQ(volume->uuid, c.uuid) << c.path;
        EXPECT_EQ(volume->internal, c.internal) << c.path;
        EXPECT_EQ(volume->removable, c.removable) << c.path;
        EXPECT_EQ(volume->ejectable, c.ejectable) << c.path;
        EXPECT_EQ(volume->local, c.local) << c.path;
    }
    EXPECT_EQ(volumeOf(at("EOS DIGITAL"), paths())->mountPoint, at("EOS DIGITAL"));
    EXPECT_FALSE(volumeOf(at("missing"), paths()));
}

TEST_F(FakeMachine, ListsVolumesWithoutPseudoSystemAndBindMounts) {
    mountTable(standardMounts());
    std::vector<fs::path> listed;
    for (const auto& volume : mountedVolumes(paths())) {
        listed.push_back(volume.mountPoint);
    }
    const std::vector<fs::path> expected{at(""),      at("EOS DIGITAL"), at("x"),     at("xy"),
                                         at("share"), at("smb"),         at("remote")};
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(mountedVolumes(paths(), true).size(), standardMounts().size());
}

TEST_F(FakeMachine, BookmarkFollowsTheCardToAnotherMountPoint) {
    mountTable(standardMounts());
    fs::create_directories(at("EOS DIGITAL/DCIM/100CANON"));
    const auto bookmark = createBookmark(at("EOS DIGITAL/DCIM/100CANON"), paths());
    ASSERT_TRUE(bookmark);
    const auto record = decodeBookmark(*bookmark);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->volumeUuid, "3A1F-0C22");
    EXPECT_EQ(record->pathInVolume, "/DCIM/100CANON");
    EXPECT_EQ(resolveBookmark(*bookmark, paths()), at("EOS DIGITAL/DCIM/100CANON"));

    // The card comes back elsewhere, and another card now sits at its old place.
    fs::create_directories(at("EOS DIGITAL 1/DCIM/100CANON"));
    mountTable({mountLine("259:2", "", "ext4", "/dev/nvme0n1p2"),
                mountLine("8:33", "EOS DIGITAL", "ext4", "/dev/sdc1"),
                mountLine("8:17", "EOS DIGITAL 1", "exfat", "/dev/sdb1")});
    EXPECT_EQ(resolveBookmark(*bookmark, paths()), at("EOS DIGITAL 1/DCIM/100CANON"));

    // Gone: the caller falls back to the stored path.
    mountTable({mountLine("259:2", "", "ext4", "/dev/nvme0n1p2")});
    EXPECT_FALSE(resolveBookmark(*bookmark, paths()));
}

TEST_F(FakeMachine, BookmarkWithoutVolumeUuidUsesThePath) {
    mountTable(standardMounts());
    fs::create_directories(at("share/clips"));
    const auto bookmark = createBookmark(at("share/clips"), paths());
    ASSERT_TRUE(bookmark);
    EXPECT_FALSE(decodeBookmark(*bookmark)->volumeUuid);
    EXPECT_EQ(resolveBookmark(*bookmark, paths()), at("share/clips"));
    fs::remove(at("share/clips"));
    EXPECT_FALSE(resolveBookmark(*bookmark, paths()));
    EXPECT_FALSE(createBookmark(at("share/clips"), paths()));
    // A name that is not UTF-8 cannot be stored: no bookmark rather than a wrong path.
    fs::create_directories(at("share/\xff"));
    EXPECT_FALSE(createBookmark(at("share/\xff"), paths()));
}

TEST(Bookmark, RefusesMalformedRecords) {
    const char* cases[] = {
        "",
        "not json",
        "[]",
        R"({"version":2,"path":"/a"})",
        R"({"path":"/a"})",
        R"({"version":1,"path":"relative"})",
        R"({"version":1,"path":"/a/../b"})",
        R"({"version":1,"path":42})",
        R"({"version":1,"path":"/a","volumeUUID":"AB"})",
        R"({"version":1,"path":"/a","volumeUUID":"AB","pathInVolume":"/../../etc"})",
        R"({"version":1,"path":"/a","volumeUUID":"AB","pathInVolume":"DCIM"})",
    };
    for (const char* data : cases) {
        EXPECT_FALSE(decodeBookmark(data)) << data;
        EXPECT_FALSE(resolveBookmark(data)) << data;
    }
    EXPECT_TRUE(
        decodeBookmark(R"({"version":1,"path":"/a","volumeUUID":"AB","pathInVolume":"/"})"));
}

} // namespace
} // namespace quaymark::platform
