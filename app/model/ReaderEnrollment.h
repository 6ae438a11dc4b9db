// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PreferenceStore.h"
#include "app/platform/Volumes.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQmlIntegration/qqmlintegration.h>

#include <filesystem>
#include <optional>

namespace quaymark {

// Card readers enrolled for automatic import. A camera's format gives a card a new volume ID,
// so a card is also known by the reader it sits in: its port (udev's ID_PATH) or its serial.
// Main thread only; the store is the model's and outlives this.
class ReaderEnrollment : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Reader enrollment comes from the import model.")
    // Maps with "id" and "title", in identifier order.
    Q_PROPERTY(QVariantList readers READ readers NOTIFY changed)

public:
    ReaderEnrollment(PreferenceStore& store, platform::SystemPaths system,
                     QObject* parent = nullptr);

    QVariantList readers() const;
    bool contains(const QString& id) const { return !id.isEmpty() && readers_.contains(id); }
    // Enrolls the reader holding the card at `source`, or un-enrolls it when it is enrolled.
    Q_INVOKABLE void toggle(const QString& source);
    Q_INVOKABLE void remove(const QString& id);

    struct Reader {
        QString id; // empty when the drive tells none
        QString model;
    };
    // The reader, or drive, beneath `volume`. Blocking: sysfs and udev are read.
    static Reader readerOf(const std::optional<platform::VolumeInfo>& volume,
                           const platform::SystemPaths& system);

signals:
    void changed();
    // The source sits in no reader that can be told apart from others.
    void refused(const QString& message);

private:
    PreferenceStore& store_;
    platform::SystemPaths system_;
    QMap<QString, QString> readers_;
};

} // namespace quaymark
