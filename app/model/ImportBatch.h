// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DestinationJob.h"

#include <QList>
#include <QObject>
#include <QString>

namespace quaymark {

// One source imported to every saved destination at once.
class ImportBatch : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString id READ id CONSTANT)
    Q_PROPERTY(QString state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString source READ source CONSTANT)
    Q_PROPERTY(bool automatic READ automatic CONSTANT)
    Q_PROPERTY(QList<DestinationJob*> jobs READ jobs CONSTANT)

public:
    ImportBatch(QString source, bool automatic, ImportOptions options, QObject* parent = nullptr);

    QString id() const { return id_; }
    QString state() const { return state_; }
    void setState(const QString& state);
    QString source() const { return source_; }
    bool automatic() const { return automatic_; }
    ImportOptions& options() { return options_; }
    QList<DestinationJob*> jobs() const { return jobs_; }
    // The batch takes the job as its child.
    void addJob(DestinationJob* job);
    bool active() const;

    Q_INVOKABLE void cancel();

signals:
    void stateChanged();

private:
    QString id_;
    QString state_ = QStringLiteral("Queued");
    QString source_;
    bool automatic_ = false;
    ImportOptions options_;
    QList<DestinationJob*> jobs_;
};

} // namespace quaymark
