// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DownloadOptions.h"
#include "app/core/SavedLocation.h"
#include "app/platform/Volumes.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QtQmlIntegration/qqmlintegration.h>

#include <nlohmann/json.hpp>
#include <optional>

namespace quaymark {

// A namespace of its own so that the screens can name the values: LinkState.Failed.
namespace LinkStates {
Q_NAMESPACE
QML_NAMED_ELEMENT(LinkState)
QML_UNCREATABLE("Only the states are for the screens.")
// Unknown stands for a word in the projects file that this version does not know.
enum class LinkState {
    Ready,
    Queued,
    Downloading,
    Merging,
    Converting,
    Downloaded,
    Paused,
    Failed,
    Unknown
};
Q_ENUM_NS(LinkState)
} // namespace LinkStates
using LinkStates::LinkState;

struct VideoLink {
    QUuid id = QUuid::createUuid();
    QString url;
    QString title = QStringLiteral("Waiting for video details");
    LinkState state = LinkState::Ready;
    // The stored word behind Unknown, written back as it was read.
    QString unknownState;
    double fraction = 0;
    double speed = 0;
    std::optional<QString> output;
    std::optional<QString> error;
    // The video's id on its site once it is known to be one video rather than a list of them.
    std::optional<QString> videoId;
    // The edit-ready file made beside `output`, for presets that make one.
    std::optional<QString> intermediate;

    bool operator==(const VideoLink&) const = default;
};

// A playlist or channel a project took its links from, with every video id seen in it, so
// that syncing it again adds only the videos that are new since.
struct VideoCollection {
    QString url;
    QString title;
    QStringList ids;

    bool operator==(const VideoCollection&) const = default;
};

struct VideoProject {
    QUuid id = QUuid::createUuid();
    QString name;
    std::optional<SavedLocation> destination;
    // Fixed when the folder is first chosen, so a rename never moves the downloads.
    std::optional<QString> directoryName;
    QList<VideoLink> links;
    DownloadOptions options;
    QList<VideoCollection> collections;

    bool operator==(const VideoProject&) const = default;

    // The sub-folder name derived from the project's name, for a project without one fixed.
    QString derivedDirectoryName() const;
    // Where the project's videos go; none without a destination. Nothing is created.
    std::optional<QString> folder(const platform::SystemPaths& system = {}) const;
    // The project's own sub-folder inside `base`, without touching the disk.
    QString folderIn(const QString& base) const;
};

// The word the projects file stores for the link's state.
QString stateText(const VideoLink& link);
// What the screens show: that word, or the conversion's progress ("Converting 42 %").
QString shownState(const VideoLink& link);
// The project with this id in `projects`, if it is there.
VideoProject* findProject(QList<VideoProject>& projects, const QUuid& id);

// Keys in declaration order; optional keys left out when absent; decoding applies no defaults
// and throws the JSON library's error for a missing or mistyped key.
nlohmann::ordered_json encodeProjects(const QList<VideoProject>& projects);
QList<VideoProject> decodeProjects(const nlohmann::json& array);

} // namespace quaymark
