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

QString ImportBatch::displayText(State state) {
    switch (state) {
    case State::Queued:
        return QStringLiteral("Queued");
    case State::Importing:
        return QStringLiteral("Importing");
    case State::Verified:
        return QStringLiteral("Verified");
    case State::NeedsAttention:
        return QStringLiteral("Needs attention");
    }
    return {};
}

void ImportBatch::setState(State state) {
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
    return state_ == State::Queued || state_ == State::Importing;
}

void ImportBatch::cancel() {
    for (DestinationJob* job : jobs_) {
        job->cancel();
    }
}

} // namespace quaymark
