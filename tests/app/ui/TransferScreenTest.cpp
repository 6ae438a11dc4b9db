// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPrinting.h"
#include "ScreenHarness.h"

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

    // Both a result and an error: Reveal, and the error in place of the result.
    EXPECT_TRUE(shows(inRow(*scene, 1, "revealButton")));
    EXPECT_FALSE(shows(inRow(*scene, 1, "retryButton")));
    EXPECT_TRUE(shows(inRow(*scene, 1, "errorText")));
    EXPECT_EQ(textOf(inRow(*scene, 1, "errorText")), u"The receipt could not be written.");
    EXPECT_FALSE(shows(inRow(*scene, 1, "verifiedDetail")));

    EXPECT_TRUE(shows(inRow(*scene, 2, "retryButton")));
    test::click(inRow(*scene, 2, "retryButton"));
    EXPECT_EQ(scene->window()->property("retried").value<QObject*>(), failed);

    EXPECT_TRUE(shows(inRow(*scene, 3, "runningColumn")));
    test::click(inRow(*scene, 3, "cancelJobButton"));
    EXPECT_TRUE(waiting->cancellation()->isCancelled());
    EXPECT_FALSE(verified->cancellation()->isCancelled()) << "only this destination";

    // The whole batch can be cancelled only while it is queued or importing.
    auto* cancel = scene->find("cancelBatchButton");
    EXPECT_TRUE(cancel->isVisible());
    test::click(cancel);
    EXPECT_TRUE(verified->cancellation()->isCancelled()) << "every destination";
    const std::pair<ImportBatch::State, const char*> ended[] = {
        {ImportBatch::State::Verified, "Verified"},
        {ImportBatch::State::NeedsAttention, "Needs attention"}};
    for (const auto& [state, shown] : ended) {
        batch.setState(state);
        EXPECT_FALSE(cancel->isVisible()) << shown;
        EXPECT_EQ(textOf(scene->find("batchState")), QString::fromLatin1(shown));
    }
}

} // namespace
} // namespace quaymark
