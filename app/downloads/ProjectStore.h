// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "VideoProject.h"

#include <QString>

namespace quaymark {

// "download-projects.json" in the data folder: read once at start, rewritten whole and
// atomically after every change.
class ProjectStore {
public:
    struct Loaded {
        QList<VideoProject> projects;
        std::optional<QString> message;
    };

    explicit ProjectStore(QString dataFolder);

    QString filePath() const;
    // Links that were active when the application last stopped come back paused. An
    // unreadable file is copied aside first and named in the message; load never changes it.
    Loaded load();
    // The message for the user when saving failed. An unreadable file that could not be
    // copied aside is first moved aside, so the first save never overwrites the only copy.
    std::optional<QString> save(const QList<VideoProject>& projects);

private:
    QString folder_;
    // Set when the file could be neither read nor copied.
    bool keepAside_ = false;
};

} // namespace quaymark
