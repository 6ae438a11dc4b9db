// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/SavedLocation.h"
#include "app/platform/Volumes.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <nlohmann/json.hpp>
#include <optional>

namespace quaymark {

namespace LinkState {
inline const QString ready = QStringLiteral("Ready");
inline const QString queued = QStringLiteral("Queued");
inline const QString downloading = QStringLiteral("Downloading");
inline const QString merging = QStringLiteral("Merging");
inline const QString downloaded = QStringLiteral("Downloaded");
inline const QString paused = QStringLiteral("Paused");
inline const QString failed = QStringLiteral("Failed");
} // namespace LinkState

struct VideoLink {
    QUuid id = QUuid::createUuid();
    QString url;
    QString title = QStringLiteral("Waiting for video details");
    QString state = LinkState::ready;
    double fraction = 0;
    double speed = 0;
    std::optional<QString> output;
    std::optional<QString> error;

    bool operator==(const VideoLink&) const = default;
};

struct VideoProject {
    QUuid id = QUuid::createUuid();
    QString name;
    std::optional<SavedLocation> destination;
    // Fixed when the folder is first chosen, so a rename never moves the downloads.
    std::optional<QString> directoryName;
    QList<VideoLink> links;

    bool operator==(const VideoProject&) const = default;

    // The sub-folder name derived from the project's name, for a project without one fixed.
    QString derivedDirectoryName() const;
    // Where the project's videos go; none without a destination. Nothing is created.
    std::optional<QString> folder(const platform::SystemPaths& system = {}) const;
    // The project's own sub-folder inside `base`, without touching the disk.
    QString folderIn(const QString& base) const;
};

// Keys in declaration order; optional keys left out when absent; decoding applies no defaults
// and throws the JSON library's error for a missing or mistyped key.
nlohmann::ordered_json encodeProjects(const QList<VideoProject>& projects);
QList<VideoProject> decodeProjects(const nlohmann::json& array);

} // namespace quaymark
