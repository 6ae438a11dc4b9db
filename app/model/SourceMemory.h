// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/platform/Volumes.h"

#include <QObject>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quaymark {

// What the catalog remembers of the chosen source: "Already imported on ...", the clips added
// since, or a path that now holds another file. Looked up on a worker; main thread only.
class SourceMemory : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The source memory comes from the import model.")
    Q_PROPERTY(QString notice READ notice NOTIFY changed)
    // "notImported", "alreadyImported", "newFiles" or "reused".
    Q_PROPERTY(QString kind READ kind NOTIFY changed)

public:
    SourceMemory(std::filesystem::path catalogFile, platform::SystemPaths system,
                 QObject* parent = nullptr);

    QString notice() const { return notice_; }
    QString kind() const { return kind_; }
    // The card paths of the files added since the last import.
    const std::vector<std::string>& newFiles() const { return newFiles_; }
    const std::filesystem::path& catalogFile() const { return catalogFile_; }
    // A look-up is on its way; until it answers, the notice and kind are an earlier source's.
    bool pending() const { return pending_; }

    // Looks `source` up again; an answer for an earlier request is dropped. An empty source
    // clears the notice.
    void lookUp(const QString& source, bool videosOnly);

signals:
    void changed();

private:
    std::filesystem::path catalogFile_;
    platform::SystemPaths system_;
    std::uint64_t request_ = 0;
    bool pending_ = false;
    QString notice_;
    QString kind_ = QStringLiteral("notImported");
    std::vector<std::string> newFiles_;
};

} // namespace quaymark
