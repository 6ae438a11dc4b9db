// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchNotices.h"

#include "app/model/AppModel.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace quaymark {

BatchNotices::BatchNotices(AppModel& model, std::function<bool()> windowActive, Post post,
                           QObject* parent)
    : QObject(parent)
    , model_(model)
    , windowActive_(std::move(windowActive))
    , post_(std::move(post)) {
    connect(model_.queue(), &ImportQueue::batchesChanged, this, &BatchNotices::watch);
    connect(model_.queue(), &ImportQueue::automaticImportRefused, this,
            [this](const QString& message) {
                if (!windowActive_()) {
                    post_(QStringLiteral("Import needs attention"), message);
                }
            });
    connect(model_.drives(), &DriveWatcher::automaticImportSkipped, this,
            [this](const QString& message) {
                if (!windowActive_()) {
                    post_(QStringLiteral("Already imported"), message);
                }
            });
    watch();
}

void BatchNotices::watch() {
    QSet<ImportBatch*> current;
    for (ImportBatch* batch : model_.queue()->batches()) {
        current.insert(batch);
        if (!watched_.contains(batch)) {
            connect(batch, &ImportBatch::stateChanged, this,
                    [this, batch = QPointer<ImportBatch>(batch)] {
                        if (batch) {
                            ended(batch);
                        }
                    });
        }
    }
    // Cleared batches are deleted later; forgetting them keeps a reused address from hiding
    // a new batch.
    watched_ = current;
}

void BatchNotices::ended(ImportBatch* batch) {
    const ImportBatch::State state = batch->state();
    QString summary;
    if (state == ImportBatch::State::Verified) {
        summary = QStringLiteral("Import verified");
    } else if (state == ImportBatch::State::NeedsAttention) {
        summary = QStringLiteral("Import needs attention");
    } else {
        return;
    }
    if (windowActive_()) {
        return;
    }
    const QString clean = QDir::cleanPath(batch->source());
    const QString name = QFileInfo(clean).fileName();
    post_(summary, name.isEmpty() ? clean : name);
}

} // namespace quaymark
