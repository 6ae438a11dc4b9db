// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadFixture.h"
#include "TestMounts.h"

#include <QAbstractItemModelTester>
#include <QObject>
#include <QSignalSpy>
#include <QThread>

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
    bool onMainThread = true;

    void watch(DownloadModel& model, int project, int link) {
        QObject::connect(&model, &DownloadModel::projectsChanged, &model, [&, project, link] {
            onMainThread &= QThread::currentThread() == model.thread();
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

class DownloadQueueTest : public DownloadFixture {
protected:
    // The tools in place and a selected project below `destination` holding `links`.
    std::unique_ptr<DownloadModel> projectWith(const QStringList& links,
                                               const fs::path& destination) {
        installTools();
        auto model = makeModel();
        addProject(*model, picker, QStringLiteral("Harbour"), destination);
        paste(*model, links);
        return model;
    }

    void downloadAll(DownloadModel& model) {
        model.downloadAll();
        ASSERT_TRUE(waitUntil([&] { return !model.queue()->busy(); }));
    }
};

TEST_F(DownloadQueueTest, EachLinkEndsDownloadedOrFailedWithItsReason) {
    const auto model = projectWith(
        {url("plain"), url("merge"), url("nofile"), url("missing"), url("fail"), url("silent")},
        home / "videos");
    LinkHistory plain;
    LinkHistory merge;
    plain.watch(*model, 0, 0);
    merge.watch(*model, 0, 1);
    // The screen's rows, checked by Qt's tester at every change.
    const QAbstractItemModelTester rows(model->links(),
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(model->links(), &QAbstractItemModel::modelReset);
    QSignalSpy changes(model->links(), &QAbstractItemModel::dataChanged);

    model->downloadAll();
    for (const auto& link : model->project()->links) {
        EXPECT_EQ(link.state, LinkState::Queued);
    }
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));

    const VideoLink& done = linkAt(*model, 0, 0);
    EXPECT_EQ(done.title, u"Clip \"plain\"");
    EXPECT_EQ(done.output,
              model->folderOf(*model->project()) + u"/Clip \"plain\" [Fake-plain].mkv");
    EXPECT_EQ(readFile(fs::path(done.output->toStdString())), "video plain");
    EXPECT_EQ(done.speed, 0);
    EXPECT_EQ(plain.states,
              (QList<LinkState>{LinkState::Queued, LinkState::Downloading, LinkState::Downloaded}));
    // Unknown totals read as nothing done; the estimate stands in for a missing total.
    // (The output tail replayed at the end repeats them within the same turn.)
    EXPECT_EQ(plain.fractions.mid(0, 3), (QList<double>{0, 0.25, 1.0}));
    EXPECT_EQ(plain.fractions.last(), 1.0);
    EXPECT_TRUE(plain.onMainThread && merge.onMainThread);

    EXPECT_TRUE(merge.states.contains(LinkState::Merging));
    EXPECT_EQ(merge.states.last(), LinkState::Downloaded);

    // "nofile", "missing", "fail" and "silent" all fail, each with its reason.
    EXPECT_EQ(linkAt(*model, 0, 2).error, unconfirmed);
    EXPECT_EQ(linkAt(*model, 0, 3).error, unconfirmed);
    EXPECT_TRUE(linkAt(*model, 0, 4)
                    .error->contains(
                        u"ERROR: [generic] Unable to download webpage: HTTP Error 404: Not Found"));
    EXPECT_EQ(linkAt(*model, 0, 5).error, u"The download helper stopped unexpectedly.");
    for (int index = 2; index < 6; ++index) {
        EXPECT_EQ(linkAt(*model, 0, index).state, LinkState::Failed);
    }
    // The screen's rows changed in place: nothing was rebuilt during the whole run.
    EXPECT_EQ(resets.count(), 0);
    EXPECT_GT(changes.count(), 6);

    // What the screen saw is what the next start sees.
    EXPECT_EQ(makeModel()->projects(), model->projects());

    // Only the failed links go again.
    model->downloadAll();
    EXPECT_EQ(linkAt(*model, 0, 0).state, LinkState::Downloaded);
    EXPECT_EQ(linkAt(*model, 0, 2).state, LinkState::Queued);
    EXPECT_FALSE(linkAt(*model, 0, 2).error);
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    EXPECT_EQ(linkAt(*model, 0, 2).state, LinkState::Failed);
}

TEST_F(DownloadQueueTest, PausingStopsTheHelperAndAnotherStartResumesItsPartialFile) {
    const auto model = projectWith({url("pause"), url("plain"), url("merge")}, home / "videos");
    const QString pausing = model->project()->links[0].id.toString();
    const QString queued = model->project()->links[1].id.toString();

    model->downloadAll();
    model->downloadAll(); // nothing is queued twice
    ASSERT_TRUE(waitUntil([&] { return linkAt(*model, 0, 0).fraction == 0.25; }));
    EXPECT_EQ(linkAt(*model, 0, 0).state, LinkState::Downloading);
    EXPECT_EQ(linkAt(*model, 0, 0).speed, 1'500'000);

    model->remove(pausing); // the running link stays
    model->remove(queued);  // a waiting one goes, and leaves the queue
    ASSERT_EQ(model->project()->links.size(), 2);
    model->rename(QStringLiteral("Renamed while busy"));
    EXPECT_EQ(model->project()->name, u"Harbour");

    model->queue()->pauseAll();
    EXPECT_EQ(linkAt(*model, 0, 1).state, LinkState::Paused); // was still waiting
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    EXPECT_EQ(linkAt(*model, 0, 0).state, LinkState::Paused);
    EXPECT_EQ(linkAt(*model, 0, 0).speed, 0);
    const fs::path folder = model->folderOf(*model->project()).toStdString();
    EXPECT_TRUE(fs::exists(folder / ".incomplete" / "pause.mkv.part"));

    downloadAll(*model);
    EXPECT_EQ(readFile(folder / "Clip \"pause\" [Fake-pause].mkv"), "first half|second half");
    EXPECT_EQ(linkAt(*model, 0, 1).state, LinkState::Downloaded);
}

TEST_F(DownloadQueueTest, AMissingDestinationFailsItsLinkAndTheQueueGoesOn) {
    const auto model = projectWith({url("plain")}, home / "drive");
    addProject(*model, picker, QStringLiteral("Here"), home / "disk");
    paste(*model, {url("plain")});

    model->setSelected(model->projects()[1].id);
    model->downloadAll();
    model->setSelected(model->projects()[0].id);
    model->downloadAll();
    fs::remove_all(home / "drive"); // before the queue gets to it
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));

    EXPECT_EQ(linkAt(*model, 1, 0).error, unavailable);
    EXPECT_FALSE(fs::exists(home / "drive"));
    EXPECT_EQ(linkAt(*model, 0, 0).state, LinkState::Downloaded);
}

TEST_F(DownloadQueueTest, AnUnpluggedDriveIsNotReplacedByItsEmptyMountPoint) {
    platform::LoopCard card({"/usr/sbin/mkfs.ext4", "-q"}, 8 << 20);
    if (!card.unavailable().empty()) {
        GTEST_SKIP() << card.unavailable();
    }
    const fs::path point = home / "mnt";
    platform::TestMount mount(card.device(), point, "ext4");
    if (!mount.mounted()) {
        GTEST_SKIP() << "mounting refused: " << mount.error();
    }
    const auto model = projectWith({url("plain")}, point);
    mount.unmount();
    downloadAll(*model);
    EXPECT_EQ(linkAt(*model, 0, 0).error, unavailable);
    EXPECT_TRUE(fs::is_empty(point));
}

} // namespace
} // namespace quaymark::test
