// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantList>
#include <QtQmlIntegration/qqmlintegration.h>

#include <cstdint>

namespace quaymark {

// The interrupted imports the window offers to recover: remembered import folders that no run
// holds, in this process or another. The lock probes run on a worker; a drive may be asleep.
class RecoveryOffers : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The offers come from the import model.")
    // Maps with "folder" and "label" ("2026-12-07/FX3_0949 on RAID_A").
    Q_PROPERTY(QVariantList entries READ entries NOTIFY entriesChanged)

public:
    using QObject::QObject;

    QVariantList entries() const { return entries_; }
    // `running`: import folders of this process's unfinished jobs; `destinations` name the
    // entries. The answer replaces the entries unless a newer refresh came meanwhile.
    void refresh(const QStringList& remembered, const QStringList& running,
                 const QStringList& destinations);
    // "2026-12-07/FX3_0949 on RAID_A"; the folder's parent stands in for an unknown destination.
    static QString label(const QString& folder, const QStringList& destinations);

signals:
    void entriesChanged();

private:
    QVariantList entries_;
    std::uint64_t generation_ = 0;
};

} // namespace quaymark
