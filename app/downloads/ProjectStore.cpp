// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProjectStore.h"

#include "ingest/copy/DurableWrite.h"
#include "ingest/copy/SafeMove.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QUuid>

#include <fcntl.h>

#include <filesystem>
#include <system_error>

namespace quaymark {

ProjectStore::ProjectStore(QString dataFolder)
    : folder_(std::move(dataFolder)) {}

QString ProjectStore::filePath() const {
    return folder_ + u"/download-projects.json";
}

ProjectStore::Loaded ProjectStore::load() {
    Loaded loaded;
    QFile file(filePath());
    if (!file.exists()) {
        return loaded;
    }
    try {
        if (!file.open(QIODevice::ReadOnly)) {
            throw std::runtime_error(file.errorString().toStdString());
        }
        const QByteArray bytes = file.readAll();
        loaded.projects = decodeProjects(nlohmann::json::parse(bytes.begin(), bytes.end()));
    } catch (const std::exception&) {
        loaded.projects.clear();
        const QString copy = folder_ + u"/download-projects-unreadable-" +
                             QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
                             u".json";
        const bool copied = QFile::copy(filePath(), copy);
        keepAside_ = !copied;
        loaded.message =
            copied ? u"Saved projects could not be read. A recovery copy was preserved at " + copy +
                         u'.'
                   : QStringLiteral("Saved projects could not be read or backed up. Existing "
                                    "data has not been modified.");
        return loaded;
    }
    for (auto& project : loaded.projects) {
        for (auto& link : project.links) {
            if (link.state == LinkState::Downloading || link.state == LinkState::Queued ||
                link.state == LinkState::Merging || link.state == LinkState::Converting) {
                link.state = LinkState::Paused;
                link.speed = 0;
            }
        }
    }
    return loaded;
}

std::optional<QString> ProjectStore::save(const QList<VideoProject>& projects) {
    try {
        if (keepAside_) {
            const QString aside =
                folder_ + u"/download-projects.unreadable-" +
                QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                u".json";
            try {
                moveWithoutReplacing(AT_FDCWD, QFile::encodeName(filePath()).toStdString(),
                                     QFile::encodeName(aside).toStdString(), {},
                                     "Cannot keep the unreadable projects file aside");
            } catch (const std::system_error& error) {
                if (error.code() != std::errc::no_such_file_or_directory) {
                    throw;
                }
            }
            keepAside_ = false;
        }
        std::filesystem::create_directories(QFile::encodeName(folder_).toStdString());
        durableWrite(encodeProjects(projects).dump(), QFile::encodeName(filePath()).toStdString());
    } catch (const std::exception& error) {
        return u"Could not save download projects: " + QString::fromStdString(error.what());
    }
    return std::nullopt;
}

} // namespace quaymark
