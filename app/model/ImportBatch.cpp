// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportBatch.h"

#include <QDir>
#include <QUuid>

#include <cmath>

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
        emit progressChanged(); // the time left ends with the batch
    }
}

void ImportBatch::setCardState(const QString& text, bool safeToFormat) {
    if (text != cardState_ || safeToFormat != safeToFormat_) {
        cardState_ = text;
        safeToFormat_ = safeToFormat;
        emit cardStateChanged();
    }
}

void ImportBatch::addJob(DestinationJob* job) {
    job->setParent(this);
    jobs_.append(job);
    connect(job, &DestinationJob::changed, this, &ImportBatch::progressChanged);
}

double ImportBatch::fraction() const {
    double sum = 0;
    for (const DestinationJob* job : jobs_) {
        sum += job->verified() ? 1.0 : job->fraction();
    }
    return jobs_.isEmpty() ? 0.0 : sum / static_cast<double>(jobs_.size());
}

QString ImportBatch::timeLeftText() const {
    std::optional<double> longest;
    for (const DestinationJob* job : jobs_) {
        if (const auto left = job->secondsLeft(); left && (!longest || *left > *longest)) {
            longest = left;
        }
    }
    return state_ == State::Importing && longest ? timeLeftText(*longest) : QString();
}

QString ImportBatch::timeLeftText(double seconds) {
    const auto minutes = static_cast<long long>(std::ceil(seconds / 60));
    if (minutes <= 1) {
        return QStringLiteral("Less than a minute left");
    }
    if (minutes < 60) {
        return QStringLiteral("About %1 min left").arg(minutes);
    }
    return QStringLiteral("About %1 h %2 min left").arg(minutes / 60).arg(minutes % 60);
}

QString ImportBatch::folderName() const {
    for (const DestinationJob* job : jobs_) {
        if (const QString folder = job->importFolder(); !folder.isEmpty()) {
            return QDir(job->target()).relativeFilePath(folder);
        }
    }
    return {};
}

bool ImportBatch::active() const {
    return state_ == State::Queued || state_ == State::Importing;
}

std::shared_ptr<CancellationFlag> ImportBatch::startReport() {
    reportCancellation_ = std::make_shared<CancellationFlag>();
    reportStatus_ = QStringLiteral("Writing the handover report…");
    reportFile_.clear();
    emit reportChanged();
    return reportCancellation_;
}

void ImportBatch::endReport(const QString& file, const QString& problem) {
    reportCancellation_.reset();
    reportFile_ = file;
    reportStatus_ =
        problem.isEmpty() ? QStringLiteral("Handover report written with every copy.") : problem;
    emit reportChanged();
}

void ImportBatch::cancel() {
    for (DestinationJob* job : jobs_) {
        job->cancel();
    }
    if (reportCancellation_) {
        reportCancellation_->cancel();
    }
}

} // namespace quaymark
