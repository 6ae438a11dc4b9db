// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportBatch.h"

#include <QUuid>

namespace quaymark {

ImportBatch::ImportBatch(QString source, bool automatic, ImportOptions options, QObject* parent)
    : QObject(parent)
    , id_(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())
    , source_(std::move(source))
    , automatic_(automatic)
    , options_(std::move(options)) {}

void ImportBatch::setState(const QString& state) {
    if (state_ != state) {
        state_ = state;
        emit stateChanged();
    }
}

void ImportBatch::addJob(DestinationJob* job) {
    job->setParent(this);
    jobs_.append(job);
}

bool ImportBatch::active() const {
    return state_ == u"Queued" || state_ == u"Importing";
}

void ImportBatch::cancel() {
    for (DestinationJob* job : jobs_) {
        job->cancel();
    }
}

} // namespace quaymark
