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
    // unreadable file is copied aside first and named in the message; it is never changed.
    Loaded load() const;
    // The message for the user when saving failed.
    std::optional<QString> save(const QList<VideoProject>& projects) const;

private:
    QString folder_;
};

} // namespace quaymark
