// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/qt/MountWatcher.h"

#include "ChildProcess.h"
#include "TestFiles.h"
#include "TestMounts.h"

#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace quaymark::platform {
namespace {

namespace fs = std::filesystem;
using test::runProcess;
using test::TempDir;

VolumeInfo volume(const std::string& point, const std::string& device, const std::string& name) {
    VolumeInfo info;
    info.mountPoint = point;
    info.device = device;
    info.name = name;
    return info;
}

// Every signal of a watcher as one line, in the order they came.
class Recorder {
public:
    explicit Recorder(MountWatcher& watcher) {
        QObject::connect(&watcher, &MountWatcher::mounted, [this](const VolumeInfo& v) {
            events.push_back("mount " + v.mountPoint.string() + " " + v.name);
        });
        QObject::connect(&watcher, &MountWatcher::unmounted, [this](const VolumeInfo& v) {
            events.push_back("unmount " + v.mountPoint.string() + " " + v.name);
        });
        QObject::connect(&watcher, &MountWatcher::renamed,
                         [this](const VolumeInfo& old, const VolumeInfo& now) {
                             events.push_back("rename " + now.mountPoint.string() + " " + old.name +
                                              " -> " + now.name);
                         });
    }
    std::vector<std::string> events;
};

std::vector<std::string> describe(const VolumeChanges& changes) {
    std::vector<std::string> events;
    for (const auto& v : changes.unmounted) {
        events.push_back("unmount " + v.mountPoint.string() + " " + v.name);
    }
    for (const auto& [old, now] : changes.renamed) {
        events.push_back("rename " + now.mountPoint.string() + " " + old.name + " -> " + now.name);
    }
    for (const auto& v : changes.mounted) {
        events.push_back("mount " + v.mountPoint.string() + " " + v.name);
    }
    return events;
}

TEST(MountWatcher, DiffTellsMountsUnmountsAndRenamesApart) {
    const auto a = volume("/media/a", "/dev/sdb1", "A");
    const auto b = volume("/media/b", "/dev/sdc1", "B");
    struct Case {
        const char* what;
        std::vector<VolumeInfo> before, after;
        std::vector<std::string> events;
    };
    const std::vector<Case> cases{
        {"nothing changed", {a, b}, {b, a}, {}},
        {"mounted", {a}, {a, b}, {"mount /media/b B"}},
        {"unmounted", {a, b}, {b}, {"unmount /media/a A"}},
        {"relabelled",
         {a},
         {volume("/media/a", "/dev/sdb1", "Card")},
         {"rename /media/a A -> Card"}},
        {"another device at the same place",
         {a},
         {volume("/media/a", "/dev/sdd1", "A")},
         {"unmount /media/a A", "mount /media/a A"}},
        {"the same device elsewhere",
         {a},
         {volume("/media/a2", "/dev/sdb1", "A")},
         {"unmount /media/a A", "mount /media/a2 A"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describe(diffVolumes(c.before, c.after)), c.events) << c.what;
    }
}

TEST(MountWatcher, RefreshReportsVisibleChangesOfTheTableInOrder) {
    TempDir dir;
    const SystemPaths system{dir / "mountinfo", dir / "sys", dir / "by-uuid"};
    test::writeFile(system.mountInfo,
                    "27 1 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n"
                    "30 27 0:5 / /proc rw - proc proc rw\n"
                    "40 27 8:17 / /media/u/Old\\040Card rw - ext4 /dev/sdb1 rw\n");
    MountWatcher watcher(system);
    ASSERT_TRUE(watcher.watching());
    ASSERT_EQ(watcher.volumes().size(), 2u);
    Recorder recorder(watcher);

    test::writeFile(system.mountInfo, "27 1 259:2 / / rw - ext4 /dev/nvme0n1p2 rw\n"
                                      "30 27 0:5 / /proc rw - proc proc rw\n"
                                      "50 27 0:60 / /media/u/scratch rw - tmpfs tmpfs rw\n"
                                      "51 27 8:33 / /media/u/New\\040Card rw - ext4 /dev/sdc1 rw\n"
                                      "52 27 0:61 / /run/user/1000 rw - tmpfs tmpfs rw\n");
    watcher.refresh();
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"unmount /media/u/Old Card Old Card",
                                                         "mount /media/u/New Card New Card"}));
    ASSERT_EQ(watcher.volumes().size(), 2u);
    EXPECT_EQ(watcher.volumes()[1].device, "/dev/sdc1");

    recorder.events.clear();
    watcher.refresh();
    EXPECT_TRUE(recorder.events.empty());
}

TEST(MountWatcher, MissingTableIsNotWatched) {
    TempDir dir;
    MountWatcher watcher(SystemPaths{dir / "none"});
    EXPECT_FALSE(watcher.watching());
    EXPECT_TRUE(watcher.volumes().empty());
}

TEST(MountWatcher, RealCardMountedRelabelledAndUnmounted) {
    TempDir dir;
    const fs::path root = fs::canonical(dir.path());
    const fs::path image = root / "card.img";
    { std::ofstream(image).flush(); }
    fs::resize_file(image, 16 << 20);
    if (!fs::exists("/usr/sbin/mkfs.ext4") || !fs::exists("/usr/sbin/e2label")) {
        GTEST_SKIP() << "e2fsprogs is not installed";
    }
    const auto made = runProcess({"/usr/sbin/mkfs.ext4", "-q", "-F", "-L", "Card A", image});
    ASSERT_EQ(made.status, 0) << made.errors;
    LoopDevice loop(image);
    if (loop.device().empty()) {
        GTEST_SKIP() << "no loop device here: " << loop.error();
    }

    MountWatcher watcher;
    ASSERT_TRUE(watcher.watching());
    Recorder recorder(watcher);
    const auto waitForEvents = [&](size_t count) {
        return QTest::qWaitFor([&] { return recorder.events.size() >= count; }, 20000);
    };

    // A tmpfs is a hidden volume: only the card is reported.
    auto scratch = std::make_unique<TestMount>("tmpfs", root / "scratch", "tmpfs");
    if (!scratch->mounted()) {
        GTEST_SKIP() << "mounting refused: " << scratch->error();
    }
    const fs::path point = root / "card";
    TestMount card(loop.device(), point, "ext4");
    ASSERT_TRUE(card.mounted()) << card.error();
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(recorder.events[0], "mount " + point.string() + " Card A");

    // A new label shows with the next change of the mount table.
    const auto relabelled = runProcess({"/usr/sbin/e2label", loop.device(), "Card B"});
    ASSERT_EQ(relabelled.status, 0) << relabelled.errors;
    scratch->unmount();
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(recorder.events[1], "rename " + point.string() + " Card A -> Card B");

    card.unmount();
    ASSERT_TRUE(waitForEvents(3));
    EXPECT_EQ(recorder.events[2], "unmount " + point.string() + " Card B");
    EXPECT_EQ(recorder.events.size(), 3u);
}

} // namespace
} // namespace quaymark::platform
