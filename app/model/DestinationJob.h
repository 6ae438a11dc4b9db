// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/engine/ProgressIntake.h"
#include "ingest/records/CancellationFlag.h"
#include "ingest/records/ImportRecords.h"

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQmlIntegration/qqmlintegration.h>

#include <chrono>
#include <memory>
#include <optional>

namespace quaymark {

// One destination of an import batch, as the activity view shows it. Main thread only; the
// cancellation flag is the one thing shared with the engine run.
class DestinationJob : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Jobs come from the import queue.")
    Q_PROPERTY(QString id READ id CONSTANT)
    Q_PROPERTY(QString target READ target CONSTANT)
    Q_PROPERTY(quaymark::DestinationJob::Status status READ status NOTIFY changed)
    Q_PROPERTY(QString statusText READ statusText NOTIFY changed)
    Q_PROPERTY(QString error READ error NOTIFY changed)
    Q_PROPERTY(bool finished READ finished NOTIFY changed)
    Q_PROPERTY(bool verified READ verified NOTIFY changed)
    Q_PROPERTY(QString phase READ phase NOTIFY changed)
    Q_PROPERTY(double fraction READ fraction NOTIFY changed)
    Q_PROPERTY(qint64 totalFiles READ totalFiles NOTIFY changed)
    Q_PROPERTY(qint64 verifiedFiles READ verifiedFiles NOTIFY changed)
    Q_PROPERTY(QString currentFile READ currentFile NOTIFY changed)
    Q_PROPERTY(QString importFolder READ importFolder NOTIFY changed)
    Q_PROPERTY(double speed READ speed NOTIFY changed)
    Q_PROPERTY(QVariantList samples READ samples NOTIFY changed)
    Q_PROPERTY(bool failed READ failed NOTIFY changed)
    // The verified import folder; empty until the job is verified.
    Q_PROPERTY(QString resultFolder READ resultFolder NOTIFY changed)
    Q_PROPERTY(QString speedText READ speedText NOTIFY changed)
    // The error, else the verified summary, else the file being copied.
    Q_PROPERTY(QString detailText READ detailText NOTIFY changed)
    Q_PROPERTY(QString progressText READ progressText NOTIFY changed)

public:
    // Copying stands for "Copying & verifying", Finalizing for the engine's finished phase.
    enum class Status {
        Queued,
        Scanning,
        Copying,
        Verifying,
        Finalizing,
        Verified,
        Cancelled,
        Failed
    };
    Q_ENUM(Status)

    // What the activity view shows for `status`.
    static QString displayText(Status status);

    using TimePoint = std::chrono::steady_clock::time_point;

    DestinationJob(QString target, std::optional<QString> resumeFolder, QObject* parent = nullptr);

    QString id() const { return id_; }
    QString target() const { return target_; }
    Status status() const { return status_; }
    QString statusText() const { return displayText(status_); }
    QString error() const { return error_.value_or(QString()); }
    bool finished() const { return result_.has_value() || error_.has_value(); }
    bool verified() const { return result_.has_value(); }
    QString phase() const;
    double fraction() const { return intake_.progress().fraction(); }
    qint64 totalFiles() const { return intake_.progress().totalFiles; }
    qint64 verifiedFiles() const { return intake_.progress().verifiedFiles; }
    QString currentFile() const;
    // The import folder the engine named, else the folder this job resumes.
    QString importFolder() const;
    double speed() const { return result_ || error_ ? 0.0 : intake_.speed(); }
    // Seconds until done at the pace since bytes first moved; none before 5 s of it.
    std::optional<double> secondsLeft() const;
    QVariantList samples() const;
    bool failed() const { return error_.has_value(); }
    QString resultFolder() const;
    QString speedText() const;
    QString detailText() const;
    QString progressText() const;

    const ImportProgress& progress() const { return intake_.progress(); }
    const std::optional<ImportResult>& result() const { return result_; }
    const std::optional<QString>& resumeFolder() const { return resumeFolder_; }
    std::shared_ptr<CancellationFlag> cancellation() const { return cancellation_; }

    Q_INVOKABLE void cancel() { cancellation_->cancel(); }

    // The batch started: status Scanning, speed sampling from now.
    void start(TimePoint now);
    // One snapshot from the engine; late or backward ones are dropped.
    void accept(const ImportProgress& progress, TimePoint now);
    void succeed(const ImportResult& result);
    void fail(const QString& description, bool cancelled);

signals:
    void changed();
    // The engine named the import folder for the first time.
    void sessionStarted(const QString& folder);

private:
    QString id_;
    QString target_;
    std::optional<QString> resumeFolder_;
    std::shared_ptr<CancellationFlag> cancellation_ = std::make_shared<CancellationFlag>();
    Status status_ = Status::Queued;
    std::optional<QString> error_;
    std::optional<ImportResult> result_;
    ProgressIntake intake_{std::chrono::steady_clock::now()};
    bool sessionNamed_ = false;
    // When bytes first moved and how far the job was then (a resume starts part-way).
    std::optional<std::pair<TimePoint, double>> paceStart_;
    TimePoint lastReport_;
};

} // namespace quaymark
