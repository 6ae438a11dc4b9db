// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreferenceStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace quaymark {

namespace {

const QString destinationsKey = QStringLiteral("destinations");
const QString autoEnabledKey = QStringLiteral("autoEnabled");
const QString enrolledKey = QStringLiteral("enrolled");
const QString folderRuleKey = QStringLiteral("folderRule");
const QString parallelFilesKey = QStringLiteral("parallelFiles");
const QString videosOnlyKey = QStringLiteral("videosOnly");
const QString writeMhlKey = QStringLiteral("writeMhl");
const QString requiredCopiesKey = QStringLiteral("requiredCopies");
const QString enrolledReadersKey = QStringLiteral("enrolledReaders");
const QString writeReportKey = QStringLiteral("writeReport");
const QString productionKey = QStringLiteral("reportProduction");
const QString shootingDayKey = QStringLiteral("reportShootingDay");
const QString reportOperatorKey = QStringLiteral("reportOperator");
const QString cameraOverridesKey = QStringLiteral("cameraOverrides");
const QString migratedKey = QStringLiteral("cameraNamingMigrated");
const QString recoveryFoldersKey = QStringLiteral("recoveryFolders");

// A Boolean as the store gives it back: a bool, or the text the file format wrote.
std::optional<bool> boolean(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    const QString text = value.toString().toLower();
    if (value.typeId() == QMetaType::QString && (text == u"true" || text == u"false")) {
        return text == u"true";
    }
    return std::nullopt;
}

// A dictionary whose values are not all text counts as empty.
QMap<QString, QString> textDictionary(const QVariant& value) {
    QMap<QString, QString> result;
    if (value.typeId() != QMetaType::QVariantMap) {
        return result;
    }
    const QVariantMap map = value.toMap();
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (it.value().typeId() != QMetaType::QString) {
            return {};
        }
        result.insert(it.key(), it.value().toString());
    }
    return result;
}

} // namespace

QVariantMap toVariantMap(const QMap<QString, QString>& map) {
    QVariantMap result;
    for (auto it = map.begin(); it != map.end(); ++it) {
        result.insert(it.key(), it.value());
    }
    return result;
}

QMap<QString, QString> toTextMap(const QVariantMap& map) {
    QMap<QString, QString> result;
    for (auto it = map.begin(); it != map.end(); ++it) {
        result.insert(it.key(), it.value().toString());
    }
    return result;
}

PreferenceStore::PreferenceStore()
    : settings_(QStringLiteral("Brindleway"), QStringLiteral("Quaymark")) {}

PreferenceStore::PreferenceStore(const QString& fileName)
    : settings_(fileName, QSettings::IniFormat) {}

QByteArray PreferenceStore::encodeDestinations(const QList<SavedLocation>& destinations) {
    QJsonArray array;
    for (const auto& location : destinations) {
        QJsonObject object{{QStringLiteral("path"), location.path}};
        if (location.bookmark) {
            object.insert(QStringLiteral("bookmark"),
                          QString::fromLatin1(location.bookmark->toBase64()));
        }
        array.append(object);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

QList<SavedLocation> PreferenceStore::decodeDestinations(const QByteArray& bytes) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isArray()) {
        return {};
    }
    QList<SavedLocation> destinations;
    for (const auto& entry : document.array()) {
        const QJsonObject object = entry.toObject();
        const QJsonValue path = object.value(QStringLiteral("path"));
        const QJsonValue bookmark = object.value(QStringLiteral("bookmark"));
        if (!path.isString() || (!bookmark.isUndefined() && !bookmark.isString())) {
            return {}; // one bad entry makes the list undecodable
        }
        SavedLocation location{path.toString(), std::nullopt};
        if (bookmark.isString()) {
            location.bookmark = QByteArray::fromBase64(bookmark.toString().toLatin1());
        }
        destinations.append(location);
    }
    return destinations;
}

StoredPreferences PreferenceStore::load() const {
    StoredPreferences preferences;
    preferences.destinations = decodeDestinations(settings_.value(destinationsKey).toByteArray());
    preferences.autoEnabled =
        boolean(settings_.value(autoEnabledKey)).value_or(preferences.autoEnabled);
    preferences.enrolled = textDictionary(settings_.value(enrolledKey));
    const QVariant rule = settings_.value(folderRuleKey);
    if (rule.typeId() == QMetaType::QString) {
        preferences.folderRule = rule.toString();
    }
    bool isNumber = false;
    const int parallel = settings_.value(parallelFilesKey).toInt(&isNumber);
    if (isNumber && parallel != 0) {
        preferences.parallelFiles = std::clamp(parallel, 1, 4);
    }
    const int copies = settings_.value(requiredCopiesKey).toInt(&isNumber);
    if (isNumber && copies != 0) {
        preferences.requiredCopies = std::clamp(copies, 1, 5);
    }
    preferences.videosOnly =
        boolean(settings_.value(videosOnlyKey)).value_or(preferences.videosOnly);
    preferences.writeMhl = boolean(settings_.value(writeMhlKey)).value_or(preferences.writeMhl);
    preferences.writeReport =
        boolean(settings_.value(writeReportKey)).value_or(preferences.writeReport);
    for (auto [key, field] : {std::pair{&productionKey, &preferences.production},
                              std::pair{&shootingDayKey, &preferences.shootingDay},
                              std::pair{&reportOperatorKey, &preferences.reportOperator}}) {
        const QVariant value = settings_.value(*key);
        *field = value.typeId() == QMetaType::QString ? value.toString() : QString();
    }
    preferences.cameraOverrides = textDictionary(settings_.value(cameraOverridesKey));
    const QVariant folders = settings_.value(recoveryFoldersKey);
    if (folders.typeId() == QMetaType::QStringList) {
        preferences.recoveryFolders = folders.toStringList();
        preferences.recoveryFolders.removeDuplicates();
    } else if (folders.typeId() == QMetaType::QString) {
        preferences.recoveryFolders = QStringList{folders.toString()}; // a list of one
    }
    return preferences;
}

void PreferenceStore::save(const StoredPreferences& preferences) {
    settings_.setValue(autoEnabledKey, preferences.autoEnabled);
    settings_.setValue(enrolledKey, toVariantMap(preferences.enrolled));
    settings_.setValue(videosOnlyKey, preferences.videosOnly);
    settings_.setValue(writeMhlKey, preferences.writeMhl);
    settings_.setValue(writeReportKey, preferences.writeReport);
    settings_.setValue(productionKey, preferences.production);
    settings_.setValue(shootingDayKey, preferences.shootingDay);
    settings_.setValue(reportOperatorKey, preferences.reportOperator);
    settings_.setValue(cameraOverridesKey, toVariantMap(preferences.cameraOverrides));
    settings_.setValue(folderRuleKey, preferences.folderRule);
    settings_.setValue(parallelFilesKey, preferences.parallelFiles);
    settings_.setValue(requiredCopiesKey, preferences.requiredCopies);
    settings_.setValue(destinationsKey, encodeDestinations(preferences.destinations));
    settings_.sync();
}

QMap<QString, QString> PreferenceStore::loadEnrolledReaders() const {
    return textDictionary(settings_.value(enrolledReadersKey));
}

void PreferenceStore::saveEnrolledReaders(const QMap<QString, QString>& readers) {
    settings_.setValue(enrolledReadersKey, toVariantMap(readers));
    settings_.sync();
}

void PreferenceStore::saveRecoveryFolders(const QStringList& folders) {
    settings_.setValue(recoveryFoldersKey, folders);
    settings_.sync();
}

bool PreferenceStore::migrateFolderRule(QString& rule) const {
    if (boolean(settings_.value(migratedKey)).value_or(false)) {
        return false;
    }
    rule = rule == u"{date}/{source}_{time}" ? QStringLiteral("{date}/{camera}_{time}")
                                             : rule + u"/{camera}_{time}";
    return true;
}

void PreferenceStore::markMigrated() {
    settings_.setValue(migratedKey, true);
    settings_.sync();
}

} // namespace quaymark
