// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPrinting.h"
#include "ScreenHarness.h"
#include "app/ui/Format.h"
#include "app/ui/QuayTheme.h"

#include <QColor>
#include <QPolygonF>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace quaymark {
namespace {

using test::find;
using test::textOf;

const QString batchScene = QStringLiteral(R"(
import QtQuick
import Quaymark
import Quaymark.Models
Window {
    id: window
    required property ImportBatch batch
    property DestinationJob retried: null
    BatchView {
        objectName: "card"
        width: window.width - 20
        x: 10; y: 10
        batch: window.batch
        onRetry: (job) => window.retried = job
    }
}
)");

ImportProgress copying(std::int64_t done, std::int64_t total, const char* file) {
    ImportProgress progress;
    progress.phase = ImportPhase::copying;
    progress.totalBytes = total;
    progress.copiedBytes = done;
    progress.totalFiles = 120;
    progress.verifiedFiles = 37;
    progress.currentFile = file;
    return progress;
}

class TransferScreenTest : public ::testing::Test {
protected:
    ImportBatch batch{QStringLiteral("/media/card/EOS_DIGITAL"), true, ImportOptions{}};

    DestinationJob* addJob(const char* target) {
        auto* job = new DestinationJob(QString::fromLatin1(target), std::nullopt);
        batch.addJob(job);
        return job;
    }

    std::unique_ptr<test::ComponentHarness> show() {
        auto scene = std::make_unique<test::ComponentHarness>(
            batchScene, QVariantMap{{QStringLiteral("batch"), QVariant::fromValue(&batch)}},
            QSize(1000, 600));
        scene->window()->grabWindow();
        return scene;
    }

    // The named item inside the row of the job at `index`.
    static QQuickItem* inRow(const test::ComponentHarness& scene, int index, const char* name) {
        QList<QQuickItem*> rows = test::findAll(scene.window(), QStringLiteral("transferRow"));
        std::sort(rows.begin(), rows.end(), [](QQuickItem* a, QQuickItem* b) {
            return a->mapToScene({0, 0}).y() < b->mapToScene({0, 0}).y();
        });
        return index < rows.size() ? find(rows[index], name) : nullptr;
    }

    static bool shows(QQuickItem* item) { return item && item->isVisible(); }
};

TEST_F(TransferScreenTest, RowsFollowTheirJobsState) {
    ImportResult result{"/srv/MAIN/2026-01-02/EOS", 1, 2'100'000'000, 1433.9};
    DestinationJob* verified = addJob("/srv/MAIN");
    verified->succeed(result);
    DestinationJob* both = addJob("/srv/BOTH");
    both->succeed(ImportResult{"/srv/BOTH/x", 0, 0, 0.4});
    both->fail(QStringLiteral("The receipt could not be written."), false);
    DestinationJob* failed = addJob("/srv/FAILED");
    failed->fail(QStringLiteral("No space left on device"), false);
    DestinationJob* waiting = addJob("/srv/WAITING");
    batch.setState(ImportBatch::State::Importing);
    const auto scene = show();

    EXPECT_TRUE(shows(inRow(*scene, 0, "revealButton")));
    EXPECT_EQ(textOf(inRow(*scene, 0, "verifiedDetail")),
              u"1 file · 2.1 GB · SHA-256 matched · 1433s");
    EXPECT_EQ(test::colorOf(inRow(*scene, 0, "jobStatus")),
              QuayTheme::mint().name(QColor::HexArgb));

    // Both a result and an error: seal and Reveal, status in mint, a full orange bar, the error.
    EXPECT_TRUE(shows(inRow(*scene, 1, "revealButton")));
    EXPECT_FALSE(shows(inRow(*scene, 1, "retryButton")));
    EXPECT_EQ(test::colorOf(inRow(*scene, 1, "jobStatus")),
              QuayTheme::mint().name(QColor::HexArgb));
    QQuickItem* fill = inRow(*scene, 1, "progressFill");
    EXPECT_EQ(test::colorOf(fill), QuayTheme::orange().name(QColor::HexArgb));
    EXPECT_EQ(fill->width(), fill->parentItem()->width());
    EXPECT_TRUE(shows(inRow(*scene, 1, "errorText")));
    EXPECT_EQ(textOf(inRow(*scene, 1, "errorText")), u"The receipt could not be written.");
    EXPECT_FALSE(shows(inRow(*scene, 1, "verifiedDetail")));

    EXPECT_TRUE(shows(inRow(*scene, 2, "retryButton")));
    EXPECT_EQ(test::colorOf(inRow(*scene, 2, "jobStatus")),
              QuayTheme::orange().name(QColor::HexArgb));
    EXPECT_EQ(textOf(inRow(*scene, 2, "jobStatus")), u"FAILED");
    test::click(inRow(*scene, 2, "retryButton"));
    EXPECT_EQ(scene->window()->property("retried").value<QObject*>(), failed);

    EXPECT_TRUE(shows(inRow(*scene, 3, "runningColumn")));
    EXPECT_EQ(textOf(inRow(*scene, 3, "speedText")), u"— MB/s");
    EXPECT_EQ(textOf(inRow(*scene, 3, "currentFile")), u"Waiting to start…");
    EXPECT_EQ(textOf(inRow(*scene, 3, "phaseLabel")), u"COPY WRITE");
    test::click(inRow(*scene, 3, "cancelJobButton"));
    EXPECT_TRUE(waiting->cancellation()->isCancelled());
    EXPECT_FALSE(verified->cancellation()->isCancelled()) << "only this destination";
}

TEST_F(TransferScreenTest, TheCancelButtonBelongsToQueuedAndImportingBatches) {
    DestinationJob* job = addJob("/srv/MAIN");
    const auto scene = show();
    auto* cancel = scene->find("cancelBatchButton");
    EXPECT_TRUE(cancel->isVisible()) << "Queued";
    EXPECT_TRUE(scene->find("autoBadge")->isVisible());
    test::click(cancel);
    EXPECT_TRUE(job->cancellation()->isCancelled());

    EXPECT_EQ(textOf(scene->find("batchState")), u"Queued");
    const std::pair<ImportBatch::State, const char*> ended[] = {
        {ImportBatch::State::Verified, "Verified"},
        {ImportBatch::State::NeedsAttention, "Needs attention"}};
    for (const auto& [state, shown] : ended) {
        batch.setState(state);
        EXPECT_FALSE(cancel->isVisible()) << shown;
        EXPECT_EQ(textOf(scene->find("batchState")), QString::fromLatin1(shown));
    }
    EXPECT_EQ(test::colorOf(scene->find("batchState")),
              QuayTheme::secondary().name(QColor::HexArgb));
    batch.setState(ImportBatch::State::Verified);
    EXPECT_EQ(test::colorOf(scene->find("batchState")), QuayTheme::mint().name(QColor::HexArgb));
}

TEST_F(TransferScreenTest, ARunningRowShowsSpeedProgressAndItsGraph) {
    DestinationJob* job = addJob("/srv/MAIN");
    const auto started = std::chrono::steady_clock::now();
    job->start(started);
    job->accept(copying(0, 1'000'000'000, "A001.MP4"), started);
    job->accept(copying(364'000'000, 1'000'000'000, "A002.MP4"), started + std::chrono::seconds(2));
    const auto scene = show();

    EXPECT_EQ(textOf(inRow(*scene, 0, "speedText")), job->speedText());
    EXPECT_TRUE(job->speedText().endsWith(u" MB/s"));
    EXPECT_NE(job->speedText(), u"— MB/s");
    EXPECT_EQ(textOf(inRow(*scene, 0, "currentFile")), u"A002.MP4");
    EXPECT_EQ(textOf(inRow(*scene, 0, "progressText")), u"37/120 verified · 18%");
    QQuickItem* fill = inRow(*scene, 0, "progressFill");
    EXPECT_NEAR(fill->width(), fill->parentItem()->width() * 0.182, 1.0);

    QPolygonF points;
    for (const QVariant& point : inRow(*scene, 0, "speedGraph")->property("points").toList()) {
        points.append(point.toPointF());
    }
    ASSERT_FALSE(points.isEmpty());
    const QList<double> samples = [&] {
        QList<double> values;
        for (const auto& sample : job->samples()) {
            values.append(sample.toDouble());
        }
        return values;
    }();
    EXPECT_EQ(points, speedGraphPoints(samples, 75, 26));
}

TEST(SpeedGraphPoints, ScaleAgainstThePeakWithMarginsAndSpanTheWidth) {
    EXPECT_TRUE(speedGraphPoints({}, 75, 26).isEmpty());
    EXPECT_EQ(speedGraphPoints({5e8}, 75, 26), QPolygonF({QPointF(0, 2)}))
        << "one sample lies at x = 0, at the top";
    EXPECT_EQ(speedGraphPoints({0, 10}, 100, 26), QPolygonF({QPointF(0, 24), QPointF(100, 2)}));
    EXPECT_EQ(speedGraphPoints({0.5, 1, 0}, 10, 26),
              QPolygonF({QPointF(0, 13), QPointF(5, 2), QPointF(10, 24)}))
        << "samples of at most 1 are scaled against 1";
    const QPolygonF many = speedGraphPoints({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 75, 26);
    ASSERT_EQ(many.size(), 11);
    EXPECT_DOUBLE_EQ(many[5].x(), 37.5);
    EXPECT_DOUBLE_EQ(many.last().y(), 2);
    EXPECT_GT(many.first().y(), many.last().y()) << "larger values are drawn higher";
}

TEST(FormatTexts, PathsAndSizes) {
    EXPECT_EQ(Format::lastComponent(QStringLiteral("/media/card/")), u"card");
    EXPECT_EQ(Format::lastComponent(QStringLiteral("/")), u"/");
    EXPECT_EQ(Format::parentFolder(QStringLiteral("/media/card")), u"/media");
    EXPECT_EQ(Format::parentFolder(QStringLiteral("/media")), u"/");
    EXPECT_EQ(Format::parentFolder(QStringLiteral("/")), u"/");
    EXPECT_EQ(Format::fileSize(182'500'000'000), u"182.5 GB");
}

} // namespace
} // namespace quaymark
