// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/SavedLocation.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace quaymark {

// The import settings that persist across runs, as loaded: defaults for absent or corrupt
// values, `parallelFiles` clamped to 1 to 4.
struct StoredPreferences {
    QList<SavedLocation> destinations;
    bool autoEnabled = false;
    QMap<QString, QString> enrolled;
    QString folderRule = QStringLiteral("{date}/{source}_{time}");
    int parallelFiles = 2;
    bool videosOnly = true;
    bool writeMhl = true;
    // The handover report in every verified import folder.
    bool writeReport = true;
    // The report's heading; each may be empty.
    QString production;
    QString shootingDay;
    QString reportOperator;
    // Verified copies on distinct drives before a card is safe to format, 1 to 5.
    int requiredCopies = 2;
    QMap<QString, QString> cameraOverrides;
    QStringList recoveryFolders;

    bool operator==(const StoredPreferences&) const = default;
};

// Text dictionaries as QML sees them, and back.
QVariantMap toVariantMap(const QMap<QString, QString>& map);
QMap<QString, QString> toTextMap(const QVariantMap& map);

// The per-user preference keys of the import side. Values a user could not have written
// (another type, a broken list) fall back to their defaults; nothing is reported.
class PreferenceStore {
public:
    // The user's store: organisation "Brindleway", application "Quaymark".
    PreferenceStore();
    explicit PreferenceStore(const QString& fileName);

    StoredPreferences load() const;
    // Every key but the recovery folders and the migration marker.
    void save(const StoredPreferences& preferences);
    // Written at once, apart from save().
    void saveRecoveryFolders(const QStringList& folders);
    // Card readers enrolled for automatic import: reader identity to name.
    QMap<QString, QString> loadEnrolledReaders() const;
    void saveEnrolledReaders(const QMap<QString, QString>& readers);

    // The one-time move of older rules to camera-named folders; true when it ran now. The
    // caller saves the preferences and then calls markMigrated().
    bool migrateFolderRule(QString& rule) const;
    void markMigrated();

    static QByteArray encodeDestinations(const QList<SavedLocation>& destinations);
    // Nothing when the bytes are not a JSON array of locations.
    static QList<SavedLocation> decodeDestinations(const QByteArray& bytes);

private:
    QSettings settings_;
};

} // namespace quaymark
