// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReaderEnrollment.h"

#include "app/core/Background.h"
#include "app/core/PathText.h"
#include "app/platform/DriveIdentity.h"

namespace quaymark {

ReaderEnrollment::ReaderEnrollment(PreferenceStore& store, platform::SystemPaths system,
                                   QObject* parent)
    : QObject(parent)
    , store_(store)
    , system_(std::move(system))
    , readers_(store.loadEnrolledReaders()) {}

QVariantList ReaderEnrollment::readers() const {
    QVariantList list;
    for (auto it = readers_.cbegin(); it != readers_.cend(); ++it) {
        list.append(
            QVariantMap{{QStringLiteral("id"), it.key()}, {QStringLiteral("title"), it.value()}});
    }
    return list;
}

ReaderEnrollment::Reader
ReaderEnrollment::readerOf(const std::optional<platform::VolumeInfo>& volume,
                           const platform::SystemPaths& system) {
    if (!volume || !volume->local || volume->internal.value_or(false)) {
        return {};
    }
    const auto drive = platform::driveIdentity(*volume, system);
    Reader reader{{}, QString::fromStdString(drive.model.value_or(""))};
    if (drive.devicePath) {
        reader.id = u"port:" + QString::fromStdString(*drive.devicePath);
    } else if (drive.serial) {
        reader.id = u"serial:" + QString::fromStdString(*drive.serial);
    }
    return reader;
}

void ReaderEnrollment::toggle(const QString& source) {
    runInBackground(
        this,
        [path = pathOf(source), system = system_] {
            return readerOf(platform::volumeOf(path, system), system);
        },
        [](ReaderEnrollment& enrollment, const Reader& found) {
            const auto& [id, model] = found;
            if (id.isEmpty()) {
                emit enrollment.refused(QStringLiteral(
                    "This card is in no reader Quaymark can tell apart from others. Enroll the "
                    "card itself instead."));
                return;
            }
            if (enrollment.readers_.remove(id) == 0) {
                enrollment.readers_.insert(id,
                                           model.isEmpty() ? QStringLiteral("Card reader") : model);
            }
            enrollment.store_.saveEnrolledReaders(enrollment.readers_);
            emit enrollment.changed();
        });
}

void ReaderEnrollment::remove(const QString& id) {
    if (readers_.remove(id) > 0) {
        store_.saveEnrolledReaders(readers_);
        emit changed();
    }
}

} // namespace quaymark
