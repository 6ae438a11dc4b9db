// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"
#include "QtPaths.h"
#include "QtPrinting.h"
#include "QtWaiting.h"
#include "TestFiles.h"
#include "app/model/AppModel.h"
#include "app/platform/Bookmarks.h"

#include <QTest>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <future>
#include <iterator>
#include <regex>

namespace quaymark {
namespace {

namespace fs = std::filesystem;

using test::text;

// The requests the destination's file system saw from the thread `thread`: its debug log
// names the requesting thread at the end of every request's line.
long requestsFrom(const fs::path& log, pid_t thread) {
    const std::string all = test::readFile(log);
    const std::regex tag("pid: " + std::to_string(thread) + "\n");
    return std::distance(std::sregex_iterator(all.begin(), all.end(), tag), {});
}

// The test's own look at the share happens on a thread of its own, so that every request from
// the window's thread is the model's.
template <typename Work>
auto aside(Work work) {
    return std::async(std::launch::async, work).get();
}

// A stalled network share freezes whichever thread touches it: the window's thread must never
// be that thread. The share's file system names the thread behind every request in its log, and
// has the kernel cache nothing, so every access by the model reaches it.
// The destination as an earlier run saved it, with its bookmark.
void saveChosenEarlier(const QString& settings, const fs::path& destination) {
    PreferenceStore store(settings);
    StoredPreferences stored;
    const auto bookmark = aside([&] { return platform::createBookmark(destination); });
    stored.destinations = {SavedLocation{text(destination), QByteArray::fromStdString(*bookmark)}};
    stored.folderRule = QStringLiteral("{source}");
    stored.videosOnly = false;
    store.save(stored);
    store.markMigrated();
}

TEST(WindowThreadTest, TheDestinationIsNeverTouchedFromTheWindowsThread) {
    test::TempDir home;
    const fs::path share = home / "share", log = home / "requests.log";
    fs::create_directories(home / "backing/Footage");
    fs::create_directories(share);
    test::ChildProcess server(
        {"/bin/sh", "-c",
         "exec bindfs -d -o attr_timeout=0,entry_timeout=0,negative_timeout=0 "
         "\"$0\" \"$1\" >\"$2\" 2>&1",
         (home / "backing").string(), share.string(), log.string()});
    const auto mounted = [&] { return aside([&] { return fs::exists(share / "Footage"); }); };
    if (!QTest::qWaitFor(mounted, 10'000)) {
        GTEST_SKIP() << "FUSE cannot mount here: " << test::readFile(log);
    }
    struct Unmount {
        fs::path point;
        ~Unmount() { ::umount2(point.c_str(), MNT_DETACH); }
    } unmount{share};
    const fs::path destination = share / "Footage";
    const QString settings = text(home / "Quaymark.conf");
    saveChosenEarlier(settings, destination);
    test::writeFile(home / "CARD/A001.MOV", test::patternBytes(50'000));
    const pid_t window = ::gettid();

    AppModel::Setup setup;
    setup.preferences = std::make_unique<PreferenceStore>(settings);
    AppModel model(std::move(setup));
    ASSERT_EQ(model.targets(), QStringList{text(destination)});
    for (const QString& typed : {QStringLiteral("{so"), QStringLiteral("{source}")}) {
        model.setFolderRule(typed); // every keystroke
    }
    model.setParallelFiles(3);
    model.setSource(text(home / "CARD"));
    model.setCameraOverride(QStringLiteral("A"));
    model.queue()->enqueue(text(home / "CARD"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return model.queue()->batches().size() == 1 && !model.queue()->processing(); },
        60'000));
    ASSERT_EQ(model.queue()->batches()[0]->state(), ImportBatch::State::Verified)
        << model.queue()->batches()[0]->jobs()[0]->error().toStdString();
    model.queue()->recover(text(destination / "CARD"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.message().isEmpty(); }, 60'000));
    EXPECT_EQ(model.message(), u"This import is already verified.");
    model.savePreferences();
    fs::create_directories(home / "backup");
    model.chooseTarget(true, text(home / "backup")); // checked against the share's folder
    ASSERT_TRUE(test::settle());
    EXPECT_EQ(model.targets().size(), 2);

    EXPECT_TRUE(aside([&] { return fs::exists(destination / "CARD/A001.MOV"); }))
        << "the share was used";
    EXPECT_EQ(requestsFrom(log, window), 0);
}

} // namespace
} // namespace quaymark
