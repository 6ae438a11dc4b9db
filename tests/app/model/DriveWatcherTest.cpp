// SPDX-License-Identifier: GPL-3.0-or-later
#include "BusChild.h"
#include "FakeUdisks.h"
#include "QtPaths.h"
#include "QtPrinting.h"
#include "QtWaiting.h"
#include "TestFiles.h"
#include "TestMounts.h"
#include "app/core/PathText.h"
#include "app/model/AppModel.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace quaymark {
namespace {

namespace fs = std::filesystem;
using platform::LoopCard;
using platform::TestMount;

using test::text;

constexpr const char* cardUuid = "5D0C2B7A-1E4F-4C55-9A21-3B6E8F0D1C42";

// An ext4 card image with one clip, on a loop device of its own.
class DriveWatchingTest : public ::testing::Test {
protected:
    test::TempDir home;
    std::unique_ptr<LoopCard> loop;
    std::unique_ptr<AppModel> model;

    void SetUp() override {
        // Room for the engine's 16 MiB margin when the card is also a destination.
        loop = std::make_unique<LoopCard>(
            std::vector<std::string>{"/usr/sbin/mkfs.ext4", "-q", "-U", cardUuid, "-L", "CARD"},
            48 << 20);
        if (!loop->unavailable().empty()) {
            GTEST_SKIP() << loop->unavailable();
        }
        {
            TestMount card(loop->device(), home / "CARD", "ext4");
            if (!card.mounted()) {
                GTEST_SKIP() << "mounting is refused here: " << card.error();
            }
            test::writeFile(home / "CARD/DCIM/C0001.MP4", test::patternBytes(100'000));
        }
        fs::create_directories(home / "D0");
        model = makeModel();
        model->setFolderRule(QStringLiteral("{source}"));
        model->chooseTarget(false, text(home / "D0"));
        EXPECT_TRUE(test::settle());
    }

    std::unique_ptr<AppModel> makeModel() {
        AppModel::Setup setup;
        setup.preferences = std::make_unique<PreferenceStore>(text(home / "Quaymark.conf"));
        setup.probeInterval = std::chrono::milliseconds(100);
        setup.catalogFile = home / "catalog.sqlite3";
        // udev's database as a reader would fill it; the machine's own is left alone.
        setup.system.udevData = home / "udev";
        return std::make_unique<AppModel>(std::move(setup));
    }

    // Only the test's own card counts: the machine may have other drives mounted.
    bool cardListed() const {
        return std::ranges::any_of(model->drives()->volumes(), [&](const QVariant& volume) {
            return volume.toMap().value(QStringLiteral("url")).toString() == text(home / "CARD");
        });
    }

    bool imported(qsizetype batches) {
        return QTest::qWaitFor(
            [&] {
                return model->queue()->batches().size() == batches &&
                       !model->queue()->processing() && !model->queue()->batches()[0]->active();
            },
            60'000);
    }
};

// The second mount of the same card finds it in the catalog and imports nothing.
TEST_F(DriveWatchingTest, EnrolledCardImportsItselfOnce) {
    {
        TestMount card(loop->device(), home / "CARD", "ext4");
        ASSERT_TRUE(QTest::qWaitFor([&] { return cardListed(); }, 30'000));

        model->setSource(text(home / "CARD"));
        model->enrollSource();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model->enrolled().isEmpty(); }, 30'000));
        EXPECT_EQ(model->enrolled(),
                  (QVariantMap{{QString::fromLatin1(cardUuid), QStringLiteral("CARD")}}));
        EXPECT_TRUE(model->queue()->batches().isEmpty())
            << "mounted before automatic import was on";
    }
    model->setAutoEnabled(true);
    QSignalSpy skipped(model->drives(), &DriveWatcher::automaticImportSkipped);

    for (int mount = 1; mount <= 2; ++mount) {
        SCOPED_TRACE(mount);
        TestMount card(loop->device(), home / "CARD", "ext4");
        ASSERT_TRUE(card.mounted()) << card.error();
        if (mount == 1) {
            ASSERT_TRUE(imported(1)) << "no call from the test starts it";
            ImportBatch* batch = model->queue()->batches()[0];
            EXPECT_TRUE(batch->automatic());
            EXPECT_EQ(batch->state(), ImportBatch::State::Verified)
                << batch->jobs()[0]->error().toStdString();
            // Clips only, flattened: the default mode.
            EXPECT_EQ(test::readFile(home / "D0/CARD/C0001.MP4"), test::patternBytes(100000));
            EXPECT_TRUE(QTest::qWaitFor([&] { return !batch->cardState().isEmpty(); }, 30'000));
            EXPECT_EQ(batch->cardState(), u"1 verified copy: one more drive needed");
        } else {
            ASSERT_TRUE(QTest::qWaitFor([&] { return skipped.count() == 1; }, 60'000));
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^Already imported on \\w{3} \\d+ \\w{3} "
                                                          "\\d\\d:\\d\\d to D0 \\(verified\\)\\.$"))
                            .match(skipped.value(0).value(0).toString())
                            .hasMatch())
                << skipped.value(0).value(0).toString().toStdString();
            EXPECT_EQ(model->queue()->batches().size(), 1);
        }
        card.unmount();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !cardListed(); }, 30'000));
    }

    // Another card, neither enrolled nor in an enrolled reader, such as the user's own disk.
    LoopCard other({"/usr/sbin/mkfs.ext4", "-q", "-L", "OTHER"});
    ASSERT_TRUE(other.unavailable().empty()) << other.unavailable();
    QSignalSpy considered(model->drives(), &DriveWatcher::mountConsidered);
    {
        TestMount disk(other.device(), home / "OTHER", "ext4");
        test::writeFile(home / "OTHER/C0001.MP4", test::patternBytes(1000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return considered.count() == 1; }, 30'000));
        EXPECT_EQ(considered[0][0].toString(), text(home / "OTHER"));
        EXPECT_FALSE(considered[0][1].toBool());
        EXPECT_EQ(model->queue()->batches().size(), 1) << "never imported";
    }

    fs::create_directories(home / "plain");
    model->setSource(text(home / "plain"));
    model->setMessage({});
    model->enrollSource();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->message().isEmpty(); }, 30'000));
    EXPECT_EQ(model->message(), u"Select an external card or SSD with a stable volume ID to "
                                u"enable automatic importing.");
}

// A working day with one card: imported to two drives, safe to format, ejected; inserted again
// as it was, it is known and left alone; formatted in the camera, its reader imports it again.
TEST_F(DriveWatchingTest, ACardIsImportedEjectedKnownAgainAndImportedAfterAFormat) {
    if (!test::inChild(test::privateSessionBus)) {
        return;
    }
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", qgetenv("DBUS_SESSION_BUS_ADDRESS"));
    const std::string number =
        test::readFile("/sys/class/block/" + fs::path(loop->device()).filename().string() + "/dev");
    test::writeFile(home / "udev" / ("b" + number.substr(0, number.find('\n'))),
                    "E:ID_PATH=pci-0000:00:14.0-usb-0:2:1.0\nE:ID_MODEL=Reader\n");
    LoopCard raid({"/usr/sbin/mkfs.ext4", "-q", "-L", "RAID_A"}, 48 << 20);
    LoopCard shuttle({"/usr/sbin/mkfs.ext4", "-q", "-L", "SHUTTLE_2"}, 48 << 20);
    TestMount raidDrive(raid.device(), home / "RAID_A", "ext4");
    TestMount shuttleDrive(shuttle.device(), home / "SHUTTLE_2", "ext4");
    model->removeTarget(0);
    model->chooseTarget(false, text(home / "RAID_A"));
    model->chooseTarget(true, text(home / "SHUTTLE_2"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->targets().size() == 2; }, 30'000));

    std::optional<TestMount> card;
    card.emplace(loop->device(), home / "CARD", "ext4");
    ASSERT_TRUE(QTest::qWaitFor([&] { return cardListed(); }, 30'000));
    model->readers()->toggle(text(home / "CARD"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->readers()->readers().isEmpty(); }, 30'000));
    EXPECT_EQ(model->readers()->readers().value(0).toMap()[u"id"_qs].toString(),
              u"port:pci-0000:00:14.0-usb-0:2:1.0");
    // Not imported yet: an eject asks first.
    model->drives()->eject(text(home / "CARD"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !model->drives()->ejectQuestion().isEmpty(); }, 30'000));
    EXPECT_EQ(model->drives()->ejectQuestion(),
              u"“CARD” is not safe to format (Not imported). Eject it anyway?");
    model->drives()->answerEject(false);
    card.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !cardListed(); }, 30'000));

    test::FakeUdisks udisks;
    udisks.drive(u"reader"_qs, {}, true);
    udisks.fileSystem(u"card"_qs, u"reader"_qs, text(home / "CARD"), {}, [&] { card.reset(); });
    QSignalSpy skipped(model->drives(), &DriveWatcher::automaticImportSkipped);
    model->setAutoEnabled(true);

    card.emplace(loop->device(), home / "CARD", "ext4");
    ASSERT_TRUE(imported(1));
    ImportBatch* batch = model->queue()->batches()[0];
    ASSERT_EQ(batch->state(), ImportBatch::State::Verified);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !batch->cardState().isEmpty(); }, 30'000));
    EXPECT_EQ(batch->cardState(), u"Safe to format: 2 verified copies on 2 drives");
    model->drives()->eject(text(home / "CARD"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->message().isEmpty(); }, 30'000));
    EXPECT_EQ(model->message(), u"Ejected. The card can be removed.");
    EXPECT_EQ(udisks.calls, (QStringList{u"Unmount card"_qs, u"PowerOff reader"_qs}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !cardListed(); }, 30'000));

    card.emplace(loop->device(), home / "CARD", "ext4");
    ASSERT_TRUE(QTest::qWaitFor([&] { return skipped.count() == 1; }, 60'000));
    const QString notice = skipped[0][0].toString();
    EXPECT_TRUE(notice.startsWith(u"Already imported on ") &&
                notice.endsWith(u" to RAID_A and SHUTTLE_2 (verified)."))
        << notice.toStdString();
    EXPECT_EQ(model->queue()->batches().size(), 1);
    card.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !cardListed(); }, 30'000));

    // Formatted in the camera: a new volume ID, the same clip name, another clip.
    model->setAutoEnabled(false);
    ASSERT_EQ(test::runProcess({"/usr/sbin/mkfs.ext4", "-q", "-F", "-L", "CARD", "-U",
                                "0E7A1C3D-2B4F-4D61-8E9A-1F2B3C4D5E6F", loop->device()})
                  .status,
              0);
    card.emplace(loop->device(), home / "CARD", "ext4");
    test::writeFile(home / "CARD/DCIM/C0001.MP4", test::patternBytes(90'000, 7));
    card.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !cardListed(); }, 30'000));
    model->setAutoEnabled(true);
    card.emplace(loop->device(), home / "CARD", "ext4");
    ASSERT_TRUE(imported(2)) << "its reader is enrolled";
    DestinationJob* job = model->queue()->batches()[0]->jobs()[0];
    ASSERT_TRUE(job->verified()) << job->error().toStdString();
    EXPECT_EQ(test::readFile(pathOf(job->resultFolder()) / "C0001.MP4"),
              test::patternBytes(90'000, 7));
}

// A drive mounted at a fixed folder leaves that folder behind, empty, on the system disk when
// it is unplugged: importing there would end "Verified" on the wrong disk.
TEST_F(DriveWatchingTest, AnUnpluggedDestinationIsRefusedAndKeepsItsBookmark) {
    const fs::path backup = home / "backup";
    const auto stored = [&] {
        return PreferenceStore(text(home / "Quaymark.conf")).load().destinations;
    };
    std::optional<QByteArray> bookmark;
    {
        TestMount drive(loop->device(), backup, "ext4");
        ASSERT_TRUE(drive.mounted()) << drive.error();
        model->removeTarget(0);
        model->chooseTarget(false, text(backup));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return stored().size() == 1 && stored()[0].bookmark.has_value(); }, 30'000));
        bookmark = stored()[0].bookmark;
    }
    ASSERT_TRUE(fs::is_directory(backup)) << "the mount point stays";

    // Saved on a restart, and once more on request.
    model->setParallelFiles(3);
    model.reset();
    model = makeModel();
    model->savePreferences();
    ASSERT_EQ(stored().size(), 1);
    EXPECT_EQ(stored()[0].bookmark, bookmark) << "the drive's identity is kept";

    test::writeFile(home / "SRC/C0001.MP4", test::patternBytes(1000));
    QSignalSpy refused(model->queue(), &ImportQueue::automaticImportRefused);
    const QString notConnected = QStringLiteral(
        "“backup” is not connected. Connect it, or remove it from the copy destinations.");
    for (const bool automatic : {false, true}) {
        SCOPED_TRACE(automatic);
        model->setMessage({});
        model->queue()->enqueue(text(home / "SRC"), automatic);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model->message().isEmpty(); }, 30'000));
        EXPECT_EQ(model->message(), notConnected);
        EXPECT_TRUE(model->queue()->batches().isEmpty());
        EXPECT_EQ(refused.count(), automatic ? 1 : 0);
    }
    EXPECT_EQ(refused.value(0).value(0).toString(), notConnected);
    EXPECT_TRUE(fs::is_empty(backup)) << "nothing went to the system disk";

    TestMount drive(loop->device(), backup, "ext4");
    model->queue()->enqueue(text(home / "SRC"));
    ASSERT_TRUE(imported(1));
    EXPECT_EQ(model->queue()->batches()[0]->state(), ImportBatch::State::Verified)
        << model->queue()->batches()[0]->jobs()[0]->error().toStdString();
    EXPECT_EQ(test::readFile(backup / "SRC/C0001.MP4"), test::patternBytes(1000));
}

} // namespace
} // namespace quaymark
