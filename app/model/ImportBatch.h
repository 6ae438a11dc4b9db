// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DestinationJob.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

#include <memory>

namespace quaymark {

// One source imported to every saved destination at once.
class ImportBatch : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Batches come from the import queue.")
    Q_PROPERTY(QString id READ id CONSTANT)
    Q_PROPERTY(quaymark::ImportBatch::State state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString stateText READ stateText NOTIFY stateChanged)
    Q_PROPERTY(QString source READ source CONSTANT)
    Q_PROPERTY(bool automatic READ automatic CONSTANT)
    Q_PROPERTY(QList<quaymark::DestinationJob*> jobs READ jobs CONSTANT)
    // The whole batch, each destination an equal share.
    Q_PROPERTY(double fraction READ fraction NOTIFY progressChanged)
    // "About 4 min left"; empty until the pace is known, and once the batch has ended.
    Q_PROPERTY(QString timeLeftText READ timeLeftText NOTIFY progressChanged)
    // The import folder below its destination ("2026-12-07/FX3_0949"), once the engine named it.
    Q_PROPERTY(QString folderName READ folderName NOTIFY progressChanged)
    // Once the batch has ended: whether its card may be formatted now ("Safe to format: 2
    // verified copies on 2 drives"); empty until known.
    Q_PROPERTY(QString cardState READ cardState NOTIFY cardStateChanged)
    Q_PROPERTY(bool safeToFormat READ safeToFormat NOTIFY cardStateChanged)
    // The handover report: "Writing the handover report…" while it is made, then what came of
    // it; the main copy's PDF once written.
    Q_PROPERTY(QString reportStatus READ reportStatus NOTIFY reportChanged)
    Q_PROPERTY(QString reportFile READ reportFile NOTIFY reportChanged)

public:
    enum class State { Queued, Importing, Verified, NeedsAttention };
    Q_ENUM(State)

    // What the screens and notices show for `state`.
    static QString displayText(State state);

    ImportBatch(QString source, bool automatic, ImportOptions options, QObject* parent = nullptr);

    QString id() const { return id_; }
    State state() const { return state_; }
    QString stateText() const { return displayText(state_); }
    void setState(State state);
    QString source() const { return source_; }
    bool automatic() const { return automatic_; }
    ImportOptions& options() { return options_; }
    QList<DestinationJob*> jobs() const { return jobs_; }
    // The batch takes the job as its child.
    void addJob(DestinationJob* job);
    bool active() const;
    double fraction() const;
    QString timeLeftText() const;
    QString folderName() const;
    static QString timeLeftText(double seconds);
    QString cardState() const { return cardState_; }
    bool safeToFormat() const { return safeToFormat_; }
    void setCardState(const QString& text, bool safeToFormat);

    QString reportStatus() const { return reportStatus_; }
    QString reportFile() const { return reportFile_; }
    // The report being written, or its outcome: a file, or what went wrong.
    std::shared_ptr<CancellationFlag> startReport();
    void endReport(const QString& file, const QString& problem);

    // Stops the destinations, or the report once they have ended.
    Q_INVOKABLE void cancel();

signals:
    void stateChanged();
    void progressChanged();
    void cardStateChanged();
    void reportChanged();

private:
    QString id_;
    State state_ = State::Queued;
    QString source_;
    bool automatic_ = false;
    ImportOptions options_;
    QList<DestinationJob*> jobs_;
    QString cardState_;
    bool safeToFormat_ = false;
    QString reportStatus_;
    QString reportFile_;
    std::shared_ptr<CancellationFlag> reportCancellation_;
};

} // namespace quaymark
