// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPaths.h"
#include "QtPrinting.h"
#include "QtWaiting.h"
#include "TestFiles.h"
#include "app/core/PathText.h"
#include "app/model/AppModel.h"
#include "app/model/TransferText.h"
#include "ingest/copy/SessionLock.h"

#include <QAbstractItemModelTester>
#include <QTest>

#include <gtest/gtest.h>
#include <unistd.h>

#include <limits>

namespace quaymark {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using test::text;

class ImportQueueTest : public ::testing::Test {
protected:
    test::TempDir home;
    std::unique_ptr<AppModel> model;

    void SetUp() override {
        AppModel::Setup setup;
        setup.preferences = std::make_unique<PreferenceStore>(text(home / "Quaymark.conf"));
        setup.catalogFile = home / "catalog.sqlite3";
        model = std::make_unique<AppModel>(std::move(setup));
        model->setFolderRule(QStringLiteral("{source}"));
        model->setVideosOnly(false);
    }

    void addDestinations(int count) {
        for (int i = 0; i < count; ++i) {
            fs::create_directories(home / ("D" + std::to_string(i)));
            model->chooseTarget(i > 0, text(home / ("D" + std::to_string(i))));
        }
        EXPECT_TRUE(test::settle());
    }

    fs::path makeCard(const std::string& name, int files = 3) {
        for (int i = 0; i < files; ++i) {
            test::writeFile(home / name / ("C000" + std::to_string(i) + ".MP4"),
                            test::patternBytes(10'000 + static_cast<size_t>(i)));
        }
        return home / name;
    }

    // A 512 MiB card whose first destination is cancelled as its session starts.
    DestinationJob* cancelFirstDestination() {
        test::writeFile(home / "BIG/A001.MOV", "");
        EXPECT_EQ(::truncate((home / "BIG/A001.MOV").c_str(), 512LL << 20), 0);
        model->queue()->enqueue(text(home / "BIG"));
        DestinationJob* first = model->queue()->batches()[0]->jobs()[0];
        QObject::connect(first, &DestinationJob::sessionStarted, first, &DestinationJob::cancel);
        waitIdle();
        return first;
    }

    void waitIdle() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model->queue()->processing(); }, 60'000));
    }
};

TEST_F(ImportQueueTest, RefusalsSetTheMessageAndQueueNothing) {
    const fs::path card = makeCard("CARD");
    model->queue()->enqueue(text(card));
    EXPECT_EQ(model->message(), u"Choose at least one destination first.");

    addDestinations(1);
    model->setFolderRule(QStringLiteral("{Date}"));
    model->setMessage({});
    model->queue()->enqueue(text(card));
    EXPECT_FALSE(model->message().isEmpty());
    EXPECT_TRUE(model->queue()->batches().isEmpty());

    model->setFolderRule(QStringLiteral("{source}"));
    model->setMessage({});
    model->queue()->enqueue(text(card));
    model->queue()->enqueue(text(card) + u"/./");
    EXPECT_FALSE(model->message().isEmpty()) << "the screen test has the text";
    EXPECT_EQ(model->queue()->batches().size(), 1);
    waitIdle();
    model->queue()->enqueue(text(card));
    EXPECT_EQ(model->queue()->batches().size(), 2) << "accepted once the first has finished";
    waitIdle();
}

TEST_F(ImportQueueTest, BatchesRunOldestFirstWithEveryDestinationAtOnce) {
    addDestinations(3);
    QStringList events;
    model->queue()->enqueue(text(makeCard("FIRST")));
    model->queue()->enqueue(text(makeCard("SECOND")));
    ASSERT_EQ(model->queue()->batches().size(), 2);
    for (ImportBatch* batch : model->queue()->batches()) {
        const QString card = QDir(batch->source()).dirName() + u' ';
        QObject::connect(batch, &ImportBatch::stateChanged,
                         [&events, batch, card] { events.append(card + batch->stateText()); });
        for (DestinationJob* job : batch->jobs()) {
            QObject::connect(job, &DestinationJob::changed, [&events, job, card] {
                const QString started = card + QDir(job->target()).dirName();
                if (job->status() == DestinationJob::Status::Scanning &&
                    !events.contains(started)) {
                    events.append(started);
                }
            });
        }
    }
    waitIdle();
    // Oldest first, though shown last, with all its destinations started before any ends.
    EXPECT_EQ(events,
              (QStringList{u"FIRST Importing"_qs, u"FIRST D0"_qs, u"FIRST D1"_qs, u"FIRST D2"_qs,
                           u"FIRST Verified"_qs, u"SECOND Importing"_qs, u"SECOND D0"_qs,
                           u"SECOND D1"_qs, u"SECOND D2"_qs, u"SECOND Verified"_qs}));
    EXPECT_EQ(model->queue()->batches()[0]->jobs()[2]->verifiedFiles(), 3);
    EXPECT_TRUE(model->recoveryFolders().isEmpty()) << "verified imports are forgotten";
}

TEST_F(ImportQueueTest, CancelledDestinationRetriesIntoItsImportFolder) {
    addDestinations(2);
    DestinationJob* first = cancelFirstDestination();
    ImportBatch* batch = model->queue()->batches()[0];

    EXPECT_EQ(first->status(), DestinationJob::Status::Cancelled);
    EXPECT_EQ(first->error(), u"Import cancelled. Completed files remain in the import folder.");
    EXPECT_EQ(batch->jobs()[1]->status(), DestinationJob::Status::Verified);
    EXPECT_EQ(batch->state(), ImportBatch::State::NeedsAttention);
    const QString folder = first->importFolder();
    EXPECT_EQ(model->recoveryFolders(), QStringList{folder}) << "kept for recovery";
    const auto offered = [&] {
        model->refreshRecoveries();
        EXPECT_TRUE(test::settle());
        return model->recoveries()->entries();
    };
    EXPECT_EQ(offered(),
              (QVariantList{QVariantMap{{u"folder"_qs, folder}, {u"label"_qs, u"BIG on D0"_qs}}}));
    {
        const SessionLock elsewhere{pathOf(folder)};
        EXPECT_TRUE(offered().isEmpty()) << "another process's run holds it";
    }

    model->queue()->retry(first, batch);
    model->queue()->recover(folder);
    EXPECT_EQ(model->message(), u"This import is running now.");
    EXPECT_TRUE(offered().isEmpty()) << "nor is one this window runs";
    waitIdle();
    ImportBatch* again = model->queue()->batches()[0];
    EXPECT_EQ(again->jobs()[0]->status(), DestinationJob::Status::Verified);
    EXPECT_EQ(again->jobs()[0]->importFolder(), folder) << "resumed, not a new folder";
    EXPECT_TRUE(model->recoveryFolders().isEmpty());

    model->queue()->clearFinished();
    EXPECT_TRUE(model->queue()->batches().isEmpty());
}

// A late report from the engine never changes what the job shows.
// The catalog remembers the card: a second start asks first, and new clips import alone.
TEST_F(ImportQueueTest, AnImportedCardAsksBeforeImportingAgainAndTakesNewFilesAlone) {
    addDestinations(1);
    const fs::path card = makeCard("CARD", 2);
    model->setSource(text(card));
    model->startImport(); // queued once the catalog has answered for the card
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->queue()->batches().isEmpty(); }, 30'000));
    waitIdle();
    ASSERT_EQ(model->queue()->batches().size(), 1);
    ImportBatch* first = model->queue()->batches()[0];
    ASSERT_EQ(first->state(), ImportBatch::State::Verified);
    // The report comes after the batch's end, with the card's state.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !first->reportFile().isEmpty(); }, 30'000))
        << first->reportStatus().toStdString();
    EXPECT_EQ(first->reportFile(),
              text(first->jobs()[0]->result()->destination / "_QUAYMARK_REPORT.pdf"));
    EXPECT_EQ(first->reportStatus(), u"Handover report written with every copy.");
    EXPECT_TRUE(fs::exists(first->jobs()[0]->result()->destination / "_QUAYMARK_REPORT.csv"));
    EXPECT_EQ(first->cardState(), u"1 verified copy: one more drive needed");
    EXPECT_FALSE(first->safeToFormat());
    const auto memoryIs = [&](const char* kind) {
        return QTest::qWaitFor([&] { return model->memory()->kind() == QLatin1String(kind); },
                               30'000);
    };
    ASSERT_TRUE(memoryIs("alreadyImported"));
    const QString notice = model->memory()->notice();
    EXPECT_TRUE(notice.startsWith(u"Already imported on ") &&
                notice.endsWith(u" to D0 (verified)."))
        << notice.toStdString();

    // Start pressed before the catalog answered for the card waits for the answer, and asks.
    model->setSource({});
    model->setSource(text(card));
    model->startImport();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->confirmation().isEmpty(); }, 30'000));
    EXPECT_EQ(model->confirmation(), notice);
    EXPECT_EQ(model->queue()->batches().size(), 1);
    model->answerConfirmation(false);

    model->startImport();
    EXPECT_EQ(model->confirmation(), notice);
    model->answerConfirmation(false);
    EXPECT_TRUE(model->confirmation().isEmpty());
    model->startImport();
    model->answerConfirmation(true);
    waitIdle();
    EXPECT_EQ(model->queue()->batches().size(), 2) << "asked, then imported again";

    test::writeFile(card / "C0009.MP4", test::patternBytes(777, 9));
    model->setSource(text(card));
    ASSERT_TRUE(memoryIs("newFiles"));
    EXPECT_TRUE(model->memory()->notice().startsWith(u"1 new file since the import of "));
    model->importNewFiles();
    waitIdle();
    ASSERT_EQ(model->queue()->batches().size(), 3);
    const auto& result = model->queue()->batches()[0]->jobs()[0]->result();
    ASSERT_TRUE(result);
    EXPECT_EQ(result->fileCount, 1);
    EXPECT_EQ(test::readFile(result->destination / "C0009.MP4"), test::patternBytes(777, 9));
    ASSERT_TRUE(memoryIs("alreadyImported"));

    // Where the copies are, and a copy read back again once it was damaged.
    LibraryModel* library = model->library();
    QAbstractItemModelTester tester(library);
    library->setQuery(QStringLiteral("c0009"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return library->count() == 1; }, 30'000));
    const QVariantList copies = library->data(library->index(0), LibraryModel::CopiesRole).toList();
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(copies[0].toMap()[u"path"_qs], text(result->destination / "C0009.MP4"));
    EXPECT_TRUE(copies[0].toMap()[u"connected"_qs].toBool());
    // A day report of the imports the results come from, with the settings' heading.
    model->setProduction(u"Harbour Lights"_qs);
    library->setReportsFolder(home / "reports");
    library->writeDayReport();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !library->dayReport().isEmpty(); }, 30'000))
        << library->status().toStdString();
    EXPECT_EQ(library->status(), u"Day report written: " + library->dayReport());
    const auto day = pathOf(library->dayReport()).replace_extension(".html");
    EXPECT_NE(test::readFile(day).find("<h1>Day report</h1>"), std::string::npos);
    EXPECT_NE(test::readFile(day).find("Harbour Lights"), std::string::npos);
    test::writeFile(result->destination / "C0009.MP4", test::patternBytes(777, 1));
    library->verifyAgain(text(result->destination));
    ASSERT_TRUE(QTest::qWaitFor([&] { return library->checking().isEmpty(); }, 30'000));
    EXPECT_EQ(library->status(),
              u"1 of 1 files in " + text(result->destination) + u" no longer matches the receipt.");
    const auto failure = [&] {
        const auto row = library->data(library->index(0), LibraryModel::CopiesRole).toList();
        return row.isEmpty() ? QString() : row[0].toMap()[u"failure"_qs].toString();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return !failure().isEmpty(); }, 30'000));
    EXPECT_EQ(failure(), u"The files no longer match the receipt.");

    // A lost catalog comes back from a scan of the drive.
    for (const char* file : {"catalog.sqlite3", "catalog.sqlite3-wal", "catalog.sqlite3-shm"}) {
        fs::remove(home / file);
    }
    library->scan(text(home / "D0"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return library->checking().isEmpty(); }, 30'000));
    EXPECT_EQ(library->status(),
              u"Recorded 3 verified import folders below " + text(home / "D0") + u".");
    EXPECT_TRUE(QTest::qWaitFor([&] { return library->count() == 1; }, 30'000));
}

TEST(DestinationJob, StaleProgressIsDropped) {
    DestinationJob job{QStringLiteral("/d"), std::nullopt};
    const auto start = std::chrono::steady_clock::now();
    job.start(start);
    const auto snapshot = [](ImportPhase phase, std::int64_t copied, std::int64_t verified) {
        return ImportProgress{phase, 1'000'000'000, copied, verified, 1, 0, {}, {}};
    };
    job.accept(snapshot(ImportPhase::verifying, 1'000'000'000, 20'000'000), start + 800ms);
    job.accept(snapshot(ImportPhase::copying, 5, 0), start + 2s);
    EXPECT_EQ(job.statusText(), u"Verifying") << "a backward snapshot is dropped";
    job.fail(QStringLiteral("x"), false);
    job.accept(snapshot(ImportPhase::finished, 1'000'000'000, 1'000'000'000), start + 60s);
    EXPECT_EQ(job.status(), DestinationJob::Status::Failed) << "nothing changes a finished job";
}

TEST_F(ImportQueueTest, InterruptedImportIsOfferedAfterARestartAndRecovered) {
    addDestinations(1);
    DestinationJob* job = cancelFirstDestination();
    const QString folder = job->importFolder();
    ASSERT_EQ(job->status(), DestinationJob::Status::Cancelled);

    // A restart: a new model over the same stored settings.
    model.reset();
    SetUp();
    ASSERT_EQ(model->recoveryFolders(), QStringList{folder});
    model->setFolderRule(QStringLiteral("{date}/changed"));
    model->queue()->recover(folder);
    EXPECT_TRUE(model->queue()->batches().isEmpty()) << "the journal is read on a worker";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->queue()->batches().isEmpty(); }, 60'000));
    ImportBatch* batch = model->queue()->batches()[0];
    EXPECT_FALSE(batch->automatic());
    EXPECT_EQ(batch->options().folderRule, "{source}") << "the journal's own options";
    EXPECT_EQ(batch->jobs()[0]->target(), text(home / "D0"));
    waitIdle();
    EXPECT_EQ(batch->jobs()[0]->status(), DestinationJob::Status::Verified)
        << batch->jobs()[0]->error().toStdString();
    EXPECT_TRUE(model->recoveryFolders().isEmpty());
    EXPECT_TRUE(PreferenceStore(text(home / "Quaymark.conf")).load().recoveryFolders.isEmpty());

    const auto recovered = [&](const QString& from) {
        model->setMessage({});
        model->queue()->recover(from);
        return QTest::qWaitFor([&] { return !model->message().isEmpty(); }, 60'000);
    };
    ASSERT_TRUE(recovered(text(home / "D0")));
    EXPECT_TRUE(model->message().startsWith(u"Cannot recover this import: "));
    EXPECT_TRUE(model->message().endsWith(u". Version 1.0 imports have no recovery journal; "
                                          u"start a fresh import without deleting your source."));
    EXPECT_EQ(model->queue()->batches().size(), 1) << "refusals queue nothing";
}

TEST(TransferText, SpeedInWholeMegabytesOrADash) {
    EXPECT_EQ(speedText(182'600'000), u"183 MB/s");
    EXPECT_EQ(speedText(400'000), u"0 MB/s") << "moving, if slowly";
    EXPECT_EQ(speedText(0), u"— MB/s");
    EXPECT_EQ(speedText(std::numeric_limits<double>::quiet_NaN()), u"— MB/s");
    EXPECT_EQ(speedText(std::numeric_limits<double>::infinity()), u"— MB/s");
}

TEST(TransferText, VerifiedSummaryCountsFilesWithoutGrouping) {
    EXPECT_EQ(verifiedSummary({"/x", 1204, 182'500'000'000, 1433.9}),
              u"1204 files · 182.5 GB · SHA-256 matched · 1433s");
    EXPECT_EQ(verifiedSummary({"/x", 0, 0, -1}), u"0 files · 0 bytes · SHA-256 matched · 0s");
    EXPECT_EQ(
        verifiedSummary({"/x", 2, 10, 1, {"ASC MHL: A.MOV differs.", "ASC MHL: B.MOV differs."}}),
        u"2 files · 10 bytes · SHA-256 matched · 1s · ASC MHL: A.MOV differs. (+1 more)");
}

TEST(TransferText, ProgressTruncatesThePercentage) {
    ImportProgress progress;
    progress.phase = ImportPhase::copying;
    progress.totalFiles = 120;
    progress.verifiedFiles = 37;
    progress.totalBytes = 1000;
    progress.copiedBytes = 600; // 30% of copy plus reread
    EXPECT_EQ(progressSummary(progress), u"37/120 verified · 30%");
    progress.copiedBytes = 580; // 29%, which binary fractions put just below
    EXPECT_EQ(progressSummary(progress), u"37/120 verified · 29%");
    progress.copiedBytes = 1000;
    progress.verifiedBytes = 999;
    EXPECT_EQ(progressSummary(progress), u"37/120 verified · 99%") << "never rounded up to done";
    EXPECT_EQ(progressSummary(ImportProgress{}), u"0/0 verified · 0%");
}

} // namespace
} // namespace quaymark
