// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/qt/MountWatcher.h"

#include "QtWaiting.h"
#include "TestMounts.h"
#include "app/platform/Bookmarks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

namespace quaymark::platform {
namespace {

namespace fs = std::filesystem;
using test::runProcess;

VolumeInfo volume(const std::string& point, const std::string& device, const std::string& name) {
    VolumeInfo info;
    info.mountPoint = point;
    info.device = device;
    info.name = name;
    return info;
}

std::string said(const char* what, const VolumeInfo& v) {
    return std::string(what) + " " + v.mountPoint.string() + " " + v.name;
}

// Every signal of a watcher as one line, in the order they came.
class Recorder {
public:
    explicit Recorder(MountWatcher& watcher) {
        QObject::connect(&watcher, &MountWatcher::mounted,
                         [this](const VolumeInfo& v) { events.push_back(said("mount", v)); });
        QObject::connect(&watcher, &MountWatcher::unmounted,
                         [this](const VolumeInfo& v) { events.push_back(said("unmount", v)); });
        QObject::connect(&watcher, &MountWatcher::renamed,
                         [this](const VolumeInfo& old, const VolumeInfo& now) {
                             events.push_back(said("rename", old) + " -> " + now.name);
                         });
    }
    std::vector<std::string> events;
};

std::vector<std::string> describe(const VolumeChanges& changes) {
    std::vector<std::string> events;
    for (const auto& v : changes.unmounted) {
        events.push_back(said("unmount", v));
    }
    for (const auto& [old, now] : changes.renamed) {
        events.push_back(said("rename", old) + " -> " + now.name);
    }
    for (const auto& v : changes.mounted) {
        events.push_back(said("mount", v));
    }
    return events;
}

TEST(MountWatcher, DiffTellsMountsUnmountsAndRenamesApart) {
    const auto a = volume("/media/a", "/dev/sdb1", "A");
    const auto b = volume("/media/b", "/dev/sdc1", "B");
    auto remounted = a; // pulled and put back between two reads of the table
    remounted.mountId = a.mountId + 1;
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
        {"the same device mounted again",
         {a},
         {remounted},
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

struct CardFormat {
    const char* what;
    std::vector<std::string> make; // the image path is appended
    std::string mountType;
    std::string fileSystem;          // as mountinfo shows it
    std::optional<std::string> uuid; // checked for shape only when absent
};

// Names the case in test listings.
void PrintTo(const CardFormat& format, std::ostream* out) {
    *out << format.what;
}

class RealCard : public ::testing::TestWithParam<CardFormat> {};

bool lists(const std::vector<VolumeInfo>& volumes, const fs::path& point) {
    return std::any_of(volumes.begin(), volumes.end(),
                       [&](const VolumeInfo& v) { return v.mountPoint == point; });
}

// What the platform says of the mounted card, and of the hidden scratch disk beside it.
void expectCardAndScratch(const CardFormat& format, const std::string& device,
                          const fs::path& first, const fs::path& scratchPoint) {
    fs::create_directories(first / "DCIM/100");
    const auto found = volumeOf(first / "DCIM/100");
    ASSERT_TRUE(found);
    EXPECT_EQ(std::tuple(found->mountPoint, found->fileSystem, found->device, found->name,
                         found->internal, found->ejectable, found->local),
              std::tuple(first, format.fileSystem, device, "Card A", false, true, true));
    ASSERT_TRUE(found->uuid);
    if (format.uuid) {
        EXPECT_EQ(found->uuid, format.uuid);
    } else {
        EXPECT_TRUE(std::regex_match(*found->uuid, std::regex("[0-9A-F]{4}-[0-9A-F]{4}")))
            << *found->uuid;
    }
    EXPECT_TRUE(lists(mountedVolumes(), first));
    const auto scratchVolume = volumeOf(scratchPoint);
    ASSERT_TRUE(scratchVolume);
    EXPECT_EQ(scratchVolume->name, "scratch disk");
    EXPECT_TRUE(scratchVolume->hidden);
    EXPECT_FALSE(lists(mountedVolumes(), scratchPoint));
    EXPECT_TRUE(lists(mountedVolumes({}, true), scratchPoint));
}

// A real card on a loop device, with a hidden tmpfs mounted beside it: the watcher reports the
// card alone, by its name, and a bookmark follows the card to another mount point.
TEST_P(RealCard, SeenNamedFollowedAndRelabelled) {
    const CardFormat& format = GetParam();
    LoopCard card(format.make);
    if (!card.unavailable().empty()) {
        GTEST_SKIP() << card.unavailable();
    }
    MountWatcher watcher;
    ASSERT_TRUE(watcher.watching());
    Recorder recorder(watcher);
    std::vector<std::string> expected;
    const auto seen = [&](std::string event) {
        expected.push_back(std::move(event));
        EXPECT_TRUE(test::waitFor([&] { return recorder.events.size() >= expected.size(); }));
        EXPECT_EQ(recorder.events, expected);
    };

    const fs::path scratchPoint = card.folder() / "scratch disk";
    auto scratch = std::make_unique<TestMount>("tmpfs", scratchPoint, "tmpfs");
    if (!scratch->mounted()) {
        GTEST_SKIP() << "mounting refused: " << scratch->error();
    }
    const fs::path first = card.folder() / "first place";
    auto mount = std::make_unique<TestMount>(card.device(), first, format.mountType);
    ASSERT_TRUE(mount->mounted()) << mount->error();
    seen("mount " + first.string() + " Card A");

    expectCardAndScratch(format, card.device(), first, scratchPoint);

    // A new label (e2label, ext4 only) shows with the next change of the mount table.
    std::string name = "Card A";
    if (format.fileSystem == "ext4") {
        const auto relabelled = runProcess({"/usr/sbin/e2label", card.device(), "Card B"});
        ASSERT_EQ(relabelled.status, 0) << relabelled.errors;
        scratch->unmount();
        name = "Card B";
        seen("rename " + first.string() + " Card A -> Card B");
    }

    const auto bookmark = createBookmark(first / "DCIM/100");
    ASSERT_TRUE(bookmark);
    mount->unmount();
    seen("unmount " + first.string() + " " + name);
    EXPECT_FALSE(resolveBookmark(*bookmark));

    const fs::path second = card.folder() / "second\tplace";
    mount = std::make_unique<TestMount>(card.device(), second, format.mountType);
    ASSERT_TRUE(mount->mounted()) << mount->error();
    seen("mount " + second.string() + " " + name);
    EXPECT_EQ(resolveBookmark(*bookmark), second / "DCIM/100");
}

// FUSE mounts carry an anonymous device number: the exFAT card is found through the mount's
// source.
const CardFormat formats[] = {
    {"ext4",
     {"/usr/sbin/mkfs.ext4", "-q", "-F", "-L", "Card A", "-U",
      "0d8e5f10-1234-4bcd-8ef0-0123456789ab"},
     "ext4",
     "ext4",
     "0D8E5F10-1234-4BCD-8EF0-0123456789AB"},
    {"exfat", {"/usr/sbin/mkfs.exfat", "-L", "Card A"}, "exfat-fuse", "fuseblk", std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Formats, RealCard, ::testing::ValuesIn(formats),
                         [](const auto& card) { return std::string(card.param.what); });

} // namespace
} // namespace quaymark::platform
