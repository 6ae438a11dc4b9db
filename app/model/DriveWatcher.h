// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ImportSettings.h"
#include "app/platform/Volumes.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantList>
#include <QtQmlIntegration/qqmlintegration.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>

namespace quaymark {

class ImportQueue;
class ReaderEnrollment;

namespace platform {
class MountWatcher;
}

// The mounted external volumes as the window lists them, and automatic import: once a drive
// the user enrolled is mounted and stays readable, its source is queued to every destination.
// Reads the settings through the reader it is given, the enrolled readers and the queue beside
// it; tells the window through its signals. Lives on the main thread.
class DriveWatcher : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The drive watcher comes from the import model.")
    // The mounted external volumes: maps with "url", "name", "uuid" and "removable".
    // With "cardState": whether the card may be formatted ("Safe to format: ...").
    Q_PROPERTY(QVariantList volumes READ volumes NOTIFY volumesChanged)
    // "“A001” is not safe to format (...). Eject it anyway?"; empty when none is asked.
    Q_PROPERTY(QString ejectQuestion READ ejectQuestion NOTIFY ejectQuestionChanged)

public:
    // `probeInterval` lies between the readability probes of a newly mounted drive.
    DriveWatcher(ImportSettingsReader settings, std::filesystem::path catalogFile,
                 const ReaderEnrollment& readers, ImportQueue& queue, platform::SystemPaths system,
                 std::chrono::milliseconds probeInterval, QObject* parent);
    ~DriveWatcher() override;

    QVariantList volumes() const { return volumes_; }
    Q_INVOKABLE void refreshVolumes();
    // Ejects the drive holding `path`; asks first when its card is not safe to format. The
    // outcome is the model's message.
    Q_INVOKABLE void eject(const QString& path);
    QString ejectQuestion() const { return ejectQuestion_; }
    Q_INVOKABLE void answerEject(bool ejectAnyway);

signals:
    void volumesChanged();
    void ejectQuestionChanged();
    // A newly mounted drive was looked at for automatic import: `enrolled` when it, or the
    // reader it sits in, is enrolled.
    void mountConsidered(const QString& mountPoint, bool enrolled);
    // An enrolled card was not imported again: the catalog says it is ("Already imported
    // on ...").
    void automaticImportSkipped(const QString& message);
    // A refusal or an outcome the window shows.
    void notice(const QString& text);
    // A drive came or went: what the panes show may have changed.
    void drivesChanged();
    // An enrolled drive is imported: it becomes the chosen source.
    void sourceWanted(const QString& mountPoint);

private:
    void scheduleMount(const QString& mountPoint);
    void endMountTask(const QString& mountPoint);
    void handleMount(const QString& mountPoint);
    void ejectNow(const QString& mountPoint);
    // Queues the card unless the catalog says it is imported; only its new files when it has
    // some.
    void importUnlessImported(const QString& mountPoint);

    ImportSettingsReader settings_;
    std::filesystem::path catalogFile_;
    const ReaderEnrollment& readers_;
    ImportQueue& queue_; // beside the watcher, under the same model
    platform::SystemPaths system_;
    std::chrono::milliseconds probeInterval_;
    QVariantList volumes_;
    QString ejectQuestion_;
    QString pendingEject_;
    std::unique_ptr<platform::MountWatcher> watcher_;
    QSet<QString> processedMounts_;
    // The readiness probes of newly mounted drives, by mount point.
    std::map<QString, std::unique_ptr<QObject>> mountTasks_;
};

} // namespace quaymark
