// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadFixture.h"
#include "TestMounts.h"
#include "app/core/AppDiagnostics.h"
#include "ingest/engine/DownloadsReceipt.h"
#include "ingest/records/Sha256.h"

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

// Where the stand-in claims each host it runs against and leaves its arguments.
class FakeState {
public:
    explicit FakeState(fs::path folder)
        : folder_(std::move(folder)) {
        fs::create_directories(folder_);
        qputenv("QUAYMARK_FAKE_STATE", QFile::encodeName(text(folder_)));
    }
    ~FakeState() { qunsetenv("QUAYMARK_FAKE_STATE"); }
    FakeState(const FakeState&) = delete;
    FakeState& operator=(const FakeState&) = delete;

    // The arguments of the last run for the address ending in `segment`, one per line.
    QStringList arguments(const std::string& segment) const {
        return QString::fromStdString(readFile(folder_ / ("argv-" + segment)))
            .split(u'\n', Qt::SkipEmptyParts);
    }
    bool ran(const std::string& segment) const { return fs::exists(folder_ / ("argv-" + segment)); }
    void list(const std::string& videos) const { writeFile(folder_ / "list", videos); }

private:
    fs::path folder_;
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

TEST_F(DownloadQueueTest, TwoRunAtOnceNeverTwoOfOneSiteAndEveryFileIsInTheReceipt) {
    const FakeState state(home / "state");
    // "hold" waits for a run beside it: the second link of a.example must wait its turn and
    // b.example's go beside the first.
    const auto model = projectWith({QStringLiteral("https://a.example/v/hold"),
                                    QStringLiteral("https://a.example/v/plain"),
                                    QStringLiteral("https://b.example/v/hold2"),
                                    QStringLiteral("https://www.B.example/v/merge")},
                                   home / "videos");
    model->downloadAll();
    model->setOption(QStringLiteral("preset"), 1);
    EXPECT_EQ(model->project()->options.preset, DownloadPreset::Original);
    EXPECT_EQ(model->message(), u"The download options cannot change while the project's links "
                                u"are queued or downloading. Pause them first.");
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    for (const VideoLink& link : model->project()->links) {
        EXPECT_EQ(link.state, LinkState::Downloaded)
            << link.error.value_or(QString()).toStdString();
    }
    EXPECT_TRUE(state.arguments("plain").contains(u"--sleep-requests"));

    const fs::path folder = model->folderOf(*model->project()).toStdString();
    const auto files = ImportEngine::readDownloads(folder);
    ASSERT_EQ(files.size(), 4);
    const auto plain = std::find_if(files.begin(), files.end(),
                                    [](const auto& file) { return file.siteId == "plain"; });
    ASSERT_NE(plain, files.end());
    EXPECT_EQ(plain->file, "Clip \"plain\" [Fake-plain].mkv");
    EXPECT_EQ(plain->url, "https://a.example/v/plain");
    EXPECT_EQ(plain->title, "Clip \"plain\"");
    EXPECT_EQ(plain->uploader, "Harbour Films");
    EXPECT_EQ(plain->uploadDate, "2026-12-01");
    EXPECT_EQ(plain->site, "Fake");
    EXPECT_EQ(plain->preset, "original");
    EXPECT_EQ(plain->ytDlpVersion, "2099.01.01");
    EXPECT_EQ(plain->size, 11);
    EXPECT_EQ(plain->sha256, Sha256::hex("video plain"));
    EXPECT_EQ(plain->time.size(), 20u) << plain->time;

    writeFile(folder / plain->file, "video plaiN");
    const CancellationFlag never;
    for (const auto& finding : ImportEngine::checkDownloads(folder, never)) {
        EXPECT_EQ(finding.state, finding.file == plain->file
                                     ? ImportEngine::DownloadFinding::State::changed
                                     : ImportEngine::DownloadFinding::State::matches)
            << finding.file;
    }
}

TEST_F(DownloadQueueTest, APlaylistBecomesOneLinkPerVideoAndASyncAddsOnlyTheNewOnes) {
    const FakeState state(home / "state");
    state.list("v1 First\nv2 Second\nv3 Third\n");
    const QString channel = QStringLiteral("https://c.example/lists/list");
    const auto model = projectWith({url("plain"), channel, url("fail")}, home / "videos");
    downloadAll(*model);

    const auto urls = [&] {
        QStringList list;
        for (const VideoLink& link : model->project()->links) {
            list.append(link.url.section(u'/', -1) + u' ' + stateText(link));
        }
        return list;
    };
    EXPECT_EQ(urls(), (QStringList{u"plain Downloaded"_qs, u"v1 Downloaded"_qs, u"v2 Downloaded"_qs,
                                   u"v3 Downloaded"_qs, u"fail Failed"_qs}));
    EXPECT_EQ(
        model->project()->collections,
        (QList<VideoCollection>{{channel, u"Harbour channel"_qs, {u"v1"_qs, u"v2"_qs, u"v3"_qs}}}));
    EXPECT_TRUE(state.ran("list-J"));
    EXPECT_FALSE(state.ran("list")) << "a playlist is never downloaded as one";
    EXPECT_FALSE(state.ran("v1-J")) << "its videos are known to be videos";

    // A removed video stays removed; only the new one comes, and the failed link waits for
    // "Download all".
    model->remove(model->project()->links[2].id.toString());
    state.list("v4 Fourth\nv3 Third\nv2 Second\nv1 First\n");
    model->syncCollections();
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    EXPECT_EQ(urls(), (QStringList{u"plain Downloaded"_qs, u"v1 Downloaded"_qs, u"v3 Downloaded"_qs,
                                   u"fail Failed"_qs, u"v4 Downloaded"_qs}));
    EXPECT_FALSE(linkAt(*model, 0, 3).error->isEmpty()) << "not queued again";
    EXPECT_EQ(model->project()->collections[0].ids,
              (QStringList{u"v1"_qs, u"v2"_qs, u"v3"_qs, u"v4"_qs}));
    model->syncCollections();
    ASSERT_TRUE(waitUntil([&] { return !model->queue()->busy(); }));
    EXPECT_EQ(model->message(), u"No new videos in “Harbour channel”.");
    EXPECT_EQ(model->project()->links.size(), 5);
}

TEST_F(DownloadQueueTest, CookiesAreReadFromAPrivateCopyAndNamedNowhere) {
    const FakeState state(home / "state");
    const fs::path cookies = home / "secret-cookies.txt";
    writeFile(cookies, "# Netscape HTTP Cookie File\n.example\tTRUE\t/\tTRUE\t0\tSID\tabc\n");
    const auto model = projectWith({url("bot"), url("plain")}, home / "videos");
    model->settings()->setCookieSource(QStringLiteral("file"));
    model->settings()->setCookieFile(text(cookies));
    downloadAll(*model);

    EXPECT_EQ(linkAt(*model, 0, 0).error,
              u"This site wants a signed-in browser. Choose cookies in Settings → Video projects.");
    EXPECT_EQ(linkAt(*model, 0, 1).state, LinkState::Downloaded);
    const QStringList arguments = state.arguments("plain");
    const qsizetype at = arguments.indexOf(u"--cookies"_qs);
    ASSERT_GE(at, 0);
    EXPECT_NE(arguments[at + 1], text(cookies));
    EXPECT_FALSE(fs::exists(arguments[at + 1].toStdString())) << "the copy is gone with its run";
    EXPECT_EQ(readFile(cookies).substr(0, 27), "# Netscape HTTP Cookie File");

    AppDiagnostics::log(QStringLiteral("a line, so the log exists"));
    for (const fs::path& folder : {data, fs::path(AppDiagnostics::directory().toStdString())}) {
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (entry.is_regular_file() && entry.path().filename() != "settings.ini") {
                EXPECT_EQ(readFile(entry.path()).find("secret-cookies"), std::string::npos)
                    << entry.path();
            }
        }
    }
}

} // namespace
} // namespace quaymark::test
