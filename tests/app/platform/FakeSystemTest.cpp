// SPDX-License-Identifier: GPL-3.0-or-later
// The mount table, volumes and bookmarks as the platform reads them from the system's files.
#include "TestFiles.h"
#include "app/platform/Bookmarks.h"
#include "app/platform/DriveIdentity.h"
#include "app/platform/MountTable.h"
#include "app/platform/Volumes.h"

#include <gtest/gtest.h>

#include <regex>
#include <tuple>

namespace quaymark::platform {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::writeFile;

// A mount point as mountinfo writes it, with "\040" for a space.
std::string escapeMountField(const std::string& text) {
    return std::regex_replace(text, std::regex(" "), "\\040");
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

    SystemPaths paths() const {
        return {root_ / "mountinfo", root_ / "sys", root_ / "by-uuid", root_ / "udev"};
    }

    void systemFile(const fs::path& relative, const std::string& content) {
        writeFile(root_ / relative, content + "\n");
    }

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
    // name, UUID, internal, removable, ejectable, local
    using Kind = std::tuple<std::string, std::optional<std::string>, Flag, Flag, Flag, bool>;
    const std::pair<std::string, Kind> cases[] = {
        // A card in a USB reader.
        {"EOS DIGITAL/DCIM", {"EOS DIGITAL", "3A1F-0C22", false, true, true, true}},
        // A USB SSD: not removable media, yet external.
        {"x", {"x", "0D8E5F10-AAAA-BBBB-CCCC-0123456789AB", false, false, true, true}},
        // A mounted disk image.
        {"xy/a", {"xy", std::nullopt, false, false, true, true}},
        {"share/clips", {"share", std::nullopt, false, false, false, false}},
        {"smb", {"smb", std::nullopt, false, false, false, false}},
        {"remote", {"remote", std::nullopt, false, false, false, false}},
        {"scratch", {"scratch", std::nullopt, std::nullopt, std::nullopt, std::nullopt, true}},
        {"plain", {"mnt", std::nullopt, true, false, false, true}}, // on the internal disk
    };
    for (const auto& [path, kind] : cases) {
        fs::create_directories(at(path));
        const auto v = volumeOf(at(path), paths());
        ASSERT_TRUE(v) << path;
        EXPECT_EQ(std::tuple(v->name, v->uuid, v->internal, v->removable, v->ejectable, v->local),
                  kind)
            << path;
    }
    EXPECT_FALSE(volumeOf(at("missing"), paths()));
}

// Copies count per physical drive; a card is known by its volume and the reader it sat in.
TEST_F(FakeMachine, NamesTheDriveBeneathACopyAndTheReaderBeneathACard) {
    mountTable(standardMounts());
    const std::string usb = "sys/devices/pci0000:00/0000:00:14.0/usb1/";
    const std::string ssd = usb + "1-3/1-3:1.0/host4/target4:0:0/4:0:0:0/block/sdc";
    systemFile(ssd + "/device/serial", "S5XYZ");
    systemFile(ssd + "/device/model", "Portable SSD T7   ");
    const std::string reader = usb + "1-2/1-2:1.0/host3/target3:0:0/3:0:0:0/block/sdb";
    systemFile(reader + "/dev", "8:16");
    systemFile("udev/b8:16", "S:disk/by-path/x\nE:ID_PATH=pci-0000:00:14.0-usb-0:2:1.0\n"
                             "E:ID_SERIAL_SHORT=000000001206");
    fs::create_directories(at("x/2026-12-07/A"));
    fs::create_directories(at("x/B"));

    const auto copy = destinationIdentity(at("x/2026-12-07/A"), at("x"), paths());
    EXPECT_EQ(copy.driveKey, "serial:S5XYZ/Portable SSD T7");
    EXPECT_EQ(copy.label, "x");
    EXPECT_EQ(copy.volumeUuid, "0D8E5F10-AAAA-BBBB-CCCC-0123456789AB");
    EXPECT_EQ(destinationIdentity(at("x/B"), at("x"), paths()).driveKey, copy.driveKey);
    // On the computer's own disk the copy is named by the folder imported into.
    fs::create_directories(at("Footage/day"));
    const auto internal = destinationIdentity(at("Footage/day"), at("Footage"), paths());
    EXPECT_EQ(internal.label, "Footage");
    EXPECT_EQ(internal.driveKey, "mount:" + at("").string());

    const auto card = cardIdentity(at("EOS DIGITAL"), {}, paths());
    EXPECT_EQ(card.volumeUuid, "3A1F-0C22");
    EXPECT_EQ(card.label, "EOS DIGITAL");
    EXPECT_EQ(card.reader, "pci-0000:00:14.0-usb-0:2:1.0");
    EXPECT_TRUE(card.capacity);
    // A folder on the card is a card of its own.
    EXPECT_EQ(cardIdentity(at("EOS DIGITAL/DCIM"), {}, paths()).volumeUuid, std::nullopt);
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

TEST_F(FakeMachine, BookmarkFollowsTheCardToAnotherMountPointOrElseKeepsThePath) {
    mountTable(standardMounts());
    fs::create_directories(at("EOS DIGITAL/DCIM/100CANON"));
    const auto bookmark = createBookmark(at("EOS DIGITAL/DCIM/100CANON"), paths());
    ASSERT_TRUE(bookmark);
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

    // A share without a volume UUID: the path.
    mountTable(standardMounts());
    fs::create_directories(at("share/clips"));
    const auto share = createBookmark(at("share/clips"), paths());
    ASSERT_TRUE(share);
    EXPECT_FALSE(decodeBookmark(*share)->volumeUuid);
    EXPECT_EQ(resolveBookmark(*share, paths()), at("share/clips"));
    fs::remove(at("share/clips"));
    EXPECT_FALSE(resolveBookmark(*share, paths()));
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

TEST(MountTable, UnescapesOctalSequencesOnly) {
    const struct {
        std::string_view field;
        std::string expected;
    } cases[] = {
        {"/back\\134slash", "/back\\slash"},
        {"/x\\\\040", "/x\\ "}, // an escaped backslash before a space
        {"/not\\08", "/not\\08"},
        {"/short\\04", "/short\\04"},
        {"/high\\777", "/high\\777"},
        {"/caf\\303\\251", "/caf\xC3\xA9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(unescapeMountField(c.field), c.expected) << c.field;
    }
}

TEST(MountTable, ParsesLinesWithOptionalFieldsAndSkipsBrokenOnes) {
    const auto mounts =
        parseMountInfo("27 1 259:2 / / rw,relatime shared:1 master:2 - ext4 /dev/nvme0n1p2 rw\n"
                       "garbage line\n"
                       "40 27 8:17 /sub /media/u/My\\040Card rw - exfat /dev/sdb1 rw,uid=1000\n"
                       "41 27 8:x / /bad rw - ext4 /dev/sdc1 rw\n"
                       "42 27 8:33 / relative rw - ext4 /dev/sdc1 rw\n"
                       "43 27 8:33 / /no/separator rw ext4 /dev/sdc1 rw\n"
                       "44 27 0:50 / /mnt/share rw - nfs4 server:/export\\040x rw");
    const auto fields = [](const MountEntry& m) {
        return std::tuple(m.major, m.minor, m.root, m.mountPoint, m.fileSystem, m.source);
    };
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(fields(mounts[0]), std::tuple(259u, 2u, "/", "/", "ext4", "/dev/nvme0n1p2"));
    EXPECT_EQ(fields(mounts[1]),
              std::tuple(8u, 17u, "/sub", "/media/u/My Card", "exfat", "/dev/sdb1"));
    EXPECT_EQ(mounts[2].source, "server:/export x");
    EXPECT_EQ(std::tuple(mounts[0].mountId, mounts[1].mountId, mounts[2].mountId),
              std::tuple(27u, 40u, 44u));
}

TEST(MountTable, ChoosesTheLongestContainingMountPointByComponent) {
    const auto mounts = parseMountInfo("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                       "2 1 8:17 / /media/x rw - ext4 /dev/sdb1 rw\n"
                                       "3 1 8:33 / /media/xy rw - ext4 /dev/sdc1 rw\n"
                                       "4 1 8:49 / /media/x/inner rw - ext4 /dev/sdd1 rw\n"
                                       "5 1 8:65 / /media/xy rw - ext4 /dev/sde1 rw\n");
    const struct {
        const char* path;
        const char* source;
    } cases[] = {
        {"/media/x", "/dev/sdb1"},         {"/media/x/DCIM", "/dev/sdb1"},
        {"/media/xy/DCIM", "/dev/sde1"}, // mounted over the earlier /media/xy
        {"/media/x/inner/a", "/dev/sdd1"}, {"/media/x/innerer", "/dev/sdb1"},
        {"/media", "/dev/sda1"},           {"/", "/dev/sda1"},
    };
    for (const auto& c : cases) {
        const auto mount = mountContaining(mounts, c.path);
        ASSERT_TRUE(mount) << c.path;
        EXPECT_EQ(mount->source, c.source) << c.path;
    }
    EXPECT_FALSE(mountContaining({}, "/media/x"));
}

} // namespace
} // namespace quaymark::platform
