// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/MountTable.h"

#include <gtest/gtest.h>

namespace quaymark::platform {
namespace {

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
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[0].mountPoint, "/");
    EXPECT_EQ(mounts[0].fileSystem, "ext4");
    EXPECT_EQ(mounts[0].source, "/dev/nvme0n1p2");
    EXPECT_EQ(mounts[0].major, 259u);
    EXPECT_EQ(mounts[0].minor, 2u);
    EXPECT_EQ(mounts[1].mountPoint, "/media/u/My Card");
    EXPECT_EQ(mounts[1].root, "/sub");
    EXPECT_EQ(mounts[2].source, "server:/export x");
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
