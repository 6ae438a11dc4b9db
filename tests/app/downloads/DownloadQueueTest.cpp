// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadFixture.h"
#include "TestMounts.h"

#include <QAbstractItemModelTester>
#include <QObject>
#include <QSignalSpy>

#include <unistd.h>

namespace quaymark::test {
namespace {

const QString unconfirmed = QStringLiteral(
    "The helper exited without a confirmed output file. Retry to resume any partial download.");
const QString unavailable = QStringLiteral("The destination drive or folder is unavailable.");

QString url(const char* mode) {
    return u"https://videos.example/watch/" + QString::fromLatin1(mode);
}

// Every state and fraction a link went through, in order, as the observers saw them.
struct LinkHistory {
    QList<LinkState> states;
    QList<double> fractions;

    void watch(DownloadModel& model, int project, int link) {
        QObject::connect(&model, &DownloadModel::projectsChanged, &model, [&, project, link] {
            const VideoLink& now = model.projects().at(project).links.at(link);
            if (states.isEmpty() || states.last() != now.state) {
                states.append(now.state);
            }
            if (fractions.isEmpty() || fractions.last() != now.fraction) {
                fractions.append(now.fraction);
            }
        });
    }
};

// The screen's two row models, checked by Qt's tester at every change, with their signals
// counted.
struct ScreenRows {
    explicit ScreenRows(DownloadModel& model)
        : linkTester(model.links(), QAbstractItemModelTester::FailureReportingMode::Fatal)
        , linkResets(model.links(), &QAbstractItemModel::modelReset)
        , linkChanges(model.links(), &QAbstractItemModel::dataChanged)
        , projectTester(model.projectRows(), QAbstractItemModelTester::FailureReportingMode::Fatal)
        , projectResets(model.projectRows(), &QAbstractItemModel::modelReset)
        , projectChanges(model.projectRows(), &QAbstractItemModel::dataChanged) {}

    QAbstractItemModelTester linkTester;
    QSignalSpy linkResets;
    QSignalSpy linkChanges;
    QAbstractItemModelTester projectTester;
    QSignalSpy projectResets;
    QSignalSpy projectChanges;
};

class DownloadQueueTest : public DownloadFixture {
protected:
    // The tools in place and a selected project below "videos" holding `links`.
    std::unique_ptr<DownloadModel> projectWith(const QStringList& links) {
        installTools();
        auto model = makeModel();
        addProject(*model, picker, QStringLiteral("Harbour"), home / "videos");
        paste(*model, links);
        return model;
    }

    // How the "plain" link at `index` ends: downloaded, its file confirmed where it belongs.
    static void expectPlainDownload(const DownloadModel& model, int index) {
        const QString folder = model.folderOf(*model.project());
        const VideoLink& done = linkAt(model, 0, index);
        EXPECT_EQ(done.state, LinkState::Downloaded);
        EXPECT_EQ(done.title, u"Clip \"plain\"");
        EXPECT_EQ(done.output, folder + u"/Clip \"plain\" [Fake-plain].mkv");
        EXPECT_EQ(readFile(test::fs::path(done.output->toStdString())), "video plain");
        EXPECT_EQ(done.speed, 0);
        EXPECT_FALSE(done.error);
    }

    // How the links from the third on end: "nofile", "missing", "fail" and "silent" all fail,
    // each with its reason.
    static void expectFailures(const DownloadModel& model) {
        for (int index : {2, 3}) {
            EXPECT_EQ(linkAt(model, 0, index).state, LinkState::Failed);
            EXPECT_EQ(linkAt(model, 0, index).error, unconfirmed);
        }
        EXPECT_EQ(linkAt(model, 0, 4).state, LinkState::Failed);
        EXPECT_TRUE(
            linkAt(model, 0, 4)
                .error->contains(
                    u"ERROR: [generic] Unable to download webpage: HTTP Error 404: Not Found"));
        EXPECT_EQ(linkAt(model, 0, 5).error, u"The download helper stopped unexpectedly.");
    }
};

TEST_F(DownloadQueueTest, EachLinkEndsDownloadedOrFailedWithItsReason) {
    const auto model = projectWith(
        {url("plain"), url("merge"), url("nofile"), url("missing"), url("fail"), url("silent")});
    LinkHistory plain;
    LinkHistory merge;
    plain.watch(*model, 0, 0);
    merge.watch(*model, 0, 1);
    const ScreenRows rows(*model);

    model->queue()->downloadAll();
    EXPECT_TRUE(model->queue()->busy());
    for (const auto& link : model->project()->links) {
        EXPECT_EQ(link.state, LinkState::Queued);
    }
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));

    expectPlainDownload(*model, 0);
    EXPECT_EQ(plain.states,
              (QList<LinkState>{LinkState::Queued, LinkState::Downloading, LinkState::Downloaded}));
    // Unknown totals read as nothing done; the estimate stands in for a missing total.
    // (The output tail replayed at the end repeats them within the same turn.)
    EXPECT_EQ(plain.fractions.mid(0, 3), (QList<double>{0, 0.25, 1.0}));
    EXPECT_EQ(plain.fractions.last(), 1.0);

    EXPECT_EQ(linkAt(*model, 0, 1).state, LinkState::Downloaded);
    EXPECT_TRUE(merge.states.contains(LinkState::Merging));
    EXPECT_EQ(merge.states.last(), LinkState::Downloaded);

    expectFailures(*model);
    EXPECT_EQ(model->message(), u"");
    // The screen's rows changed in place: nothing was rebuilt during the whole run, and the
    // project's row changed only with its count, not with every progress line.
    EXPECT_EQ(rows.linkResets.count(), 0);
    EXPECT_GT(rows.linkChanges.count(), 6);
    EXPECT_EQ(rows.projectResets.count(), 0);
    EXPECT_EQ(rows.projectChanges.count(), 2);
    EXPECT_EQ(model->links()->rowCount(), 6);

    // What the screen saw is what the next start sees.
    const auto restarted = makeModel();
    EXPECT_EQ(restarted->projects(), model->projects());

    // Only the failed links go again.
    model->queue()->downloadAll();
    EXPECT_EQ(linkAt(*model, 0, 0).state, LinkState::Downloaded);
    EXPECT_EQ(linkAt(*model, 0, 2).state, LinkState::Queued);
    EXPECT_FALSE(linkAt(*model, 0, 2).error);
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    EXPECT_EQ(linkAt(*model, 0, 2).state, LinkState::Failed);
}

TEST_F(DownloadQueueTest, PausingStopsTheHelperAndAnotherStartResumesItsPartialFile) {
    installTools();
    const auto model = makeModel();
    addProject(*model, picker, QStringLiteral("Pause"), home / "videos");
    paste(*model, {url("pause"), url("plain"), url("merge")});
    const QString pausing = model->project()->links[0].id.toString();
    const QString queued = model->project()->links[1].id.toString();

    model->queue()->downloadAll();
    model->queue()->downloadAll(); // nothing is queued twice
    ASSERT_TRUE(waitUntil([&] { return linkAt(*model, 0, 0).fraction == 0.25; }));
    EXPECT_EQ(linkAt(*model, 0, 0).state, LinkState::Downloading);
    EXPECT_EQ(linkAt(*model, 0, 0).speed, 1'500'000);

    model->remove(pausing); // the running link stays
    model->remove(queued);  // a waiting one goes, and leaves the queue
    ASSERT_EQ(model->project()->links.size(), 2);
    model->rename(QStringLiteral("Renamed while busy"));
    EXPECT_EQ(model->project()->name, u"Pause");

    model->queue()->pauseAll();
    EXPECT_EQ(linkAt(*model, 0, 1).state, LinkState::Paused); // was still waiting
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    EXPECT_EQ(linkAt(*model, 0, 0).state, LinkState::Paused);
    EXPECT_EQ(linkAt(*model, 0, 0).speed, 0);
    const fs::path folder = model->folderOf(*model->project()).toStdString();
    EXPECT_TRUE(fs::exists(folder / ".incomplete" / "pause.mkv.part"));

    model->queue()->downloadAll();
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    EXPECT_EQ(linkAt(*model, 0, 0).state, LinkState::Downloaded);
    EXPECT_EQ(readFile(folder / "Clip \"pause\" [Fake-pause].mkv"), "first half|second half");
    EXPECT_EQ(linkAt(*model, 0, 1).state, LinkState::Downloaded);
}

TEST_F(DownloadQueueTest, AMissingDestinationFailsItsLinkAndTheQueueGoesOn) {
    installTools();
    const auto model = makeModel();
    addProject(*model, picker, QStringLiteral("Gone"), home / "drive");
    paste(*model, {url("plain")});
    addProject(*model, picker, QStringLiteral("Here"), home / "disk");
    paste(*model, {url("plain")});

    model->setSelected(model->projects()[1].id);
    model->queue()->downloadAll();
    model->setSelected(model->projects()[0].id);
    model->queue()->downloadAll();
    fs::remove_all(home / "drive"); // before the queue gets to it
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));

    EXPECT_EQ(linkAt(*model, 1, 0).state, LinkState::Failed);
    EXPECT_EQ(linkAt(*model, 1, 0).error, unavailable);
    EXPECT_FALSE(fs::exists(home / "drive"));
    EXPECT_EQ(linkAt(*model, 0, 0).state, LinkState::Downloaded);
}

TEST_F(DownloadQueueTest, AnUnpluggedDriveIsNotReplacedByItsEmptyMountPoint) {
    if (::geteuid() != 0 || !fs::exists("/usr/sbin/mkfs.ext4")) {
        GTEST_SKIP() << "needs root and e2fsprogs";
    }
    const fs::path image = home / "drive.img";
    writeFile(image, "");
    fs::resize_file(image, 8 << 20);
    ASSERT_EQ(runProcess({"/usr/sbin/mkfs.ext4", "-q", "-F", image.string()}).status, 0);
    platform::LoopDevice loop(image);
    if (loop.device().empty()) {
        GTEST_SKIP() << "no loop device here: " << loop.error();
    }
    const fs::path point = home / "mnt";
    platform::TestMount mount(loop.device(), point, "ext4");
    if (!mount.mounted()) {
        GTEST_SKIP() << "mounting refused: " << mount.error();
    }

    installTools();
    const auto model = makeModel();
    addProject(*model, picker, QStringLiteral("Card"), point);
    paste(*model, {url("plain")});
    mount.unmount();
    model->queue()->downloadAll();
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    EXPECT_EQ(linkAt(*model, 0, 0).error, unavailable);
    EXPECT_TRUE(fs::is_empty(point));
}

} // namespace
} // namespace quaymark::test
