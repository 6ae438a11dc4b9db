// SPDX-License-Identifier: GPL-3.0-or-later
#include "DestinationJob.h"

#include "TransferText.h"
#include "app/core/PathText.h"

#include <QFile>
#include <QUuid>

namespace quaymark {

namespace {

DestinationJob::Status statusFor(ImportPhase phase) {
    switch (phase) {
    case ImportPhase::scanning:
        return DestinationJob::Status::Scanning;
    case ImportPhase::copying:
        return DestinationJob::Status::Copying;
    case ImportPhase::verifying:
        return DestinationJob::Status::Verifying;
    case ImportPhase::finished:
        return DestinationJob::Status::Finalizing;
    }
    return DestinationJob::Status::Scanning;
}

} // namespace

QString DestinationJob::displayText(Status status) {
    switch (status) {
    case Status::Queued:
        return QStringLiteral("Queued");
    case Status::Scanning:
        return QStringLiteral("Scanning");
    case Status::Copying:
        return QStringLiteral("Copying & verifying");
    case Status::Verifying:
        return QStringLiteral("Verifying");
    case Status::Finalizing:
        return QStringLiteral("Finalizing");
    case Status::Verified:
        return QStringLiteral("Verified");
    case Status::Cancelled:
        return QStringLiteral("Cancelled");
    case Status::Failed:
        return QStringLiteral("Failed");
    }
    return {};
}

DestinationJob::DestinationJob(QString target, std::optional<QString> resumeFolder, QObject* parent)
    : QObject(parent)
    , id_(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())
    , target_(std::move(target))
    , resumeFolder_(std::move(resumeFolder)) {}

QString DestinationJob::phase() const {
    return QString::fromLatin1(toString(intake_.progress().phase));
}

QString DestinationJob::currentFile() const {
    return QString::fromStdString(intake_.progress().currentFile);
}

QString DestinationJob::importFolder() const {
    if (const auto& destination = intake_.progress().destination) {
        return textOf(*destination);
    }
    return resumeFolder_.value_or(QString());
}

QVariantList DestinationJob::samples() const {
    QVariantList list;
    for (const double sample : intake_.samples()) {
        list.append(sample);
    }
    return list;
}

QString DestinationJob::resultFolder() const {
    return result_ ? textOf(result_->destination) : QString();
}

QString DestinationJob::speedText() const {
    return quaymark::speedText(speed());
}

QString DestinationJob::detailText() const {
    if (error_) {
        return *error_;
    }
    if (result_) {
        return verifiedSummary(*result_);
    }
    const QString file = currentFile();
    return file.isEmpty() ? QStringLiteral("Waiting to start…") : file;
}

QString DestinationJob::progressText() const {
    return progressSummary(intake_.progress());
}

void DestinationJob::start(TimePoint now) {
    status_ = Status::Scanning;
    intake_ = ProgressIntake(now);
    emit changed();
}

void DestinationJob::accept(const ImportProgress& progress, TimePoint now) {
    if (finished() || !intake_.accept(progress, now)) {
        return;
    }
    status_ = statusFor(progress.phase);
    lastReport_ = now;
    if (!paceStart_ && progress.copiedBytes + progress.verifiedBytes > 0) {
        paceStart_.emplace(now, progress.fraction());
    }
    emit changed();
    if (progress.destination && !sessionNamed_) {
        sessionNamed_ = true;
        emit sessionStarted(textOf(*progress.destination));
    }
}

std::optional<double> DestinationJob::secondsLeft() const {
    if (finished() || !paceStart_) {
        return std::nullopt;
    }
    const double seconds = std::chrono::duration<double>(lastReport_ - paceStart_->first).count();
    const double done = fraction() - paceStart_->second;
    if (seconds < 5 || done <= 0) {
        return std::nullopt;
    }
    return (1 - fraction()) * seconds / done;
}

void DestinationJob::succeed(const ImportResult& result) {
    result_ = result;
    status_ = Status::Verified;
    emit changed();
}

void DestinationJob::fail(const QString& description, bool cancelled) {
    error_ = description;
    status_ = cancelled ? Status::Cancelled : Status::Failed;
    emit changed();
}

} // namespace quaymark
