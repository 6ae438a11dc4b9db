// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DownloadTools.h"
#include "ToolSources.h"
#include "app/core/Background.h"

#include <QObject>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

#include <functional>
#include <optional>

namespace quaymark {

// Whether the download tools are ready, and their installation on a thread of its own. Lives
// on the main thread beside the download model.
class ToolsSetup : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The tools set-up comes from the download model.")
    Q_PROPERTY(bool installing READ installing NOTIFY installingChanged)
    // "Download tools ready", the too-old yt-dlp it found, or the invitation to install; a
    // stage of the installation while one runs.
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool ready READ ready NOTIFY statusChanged)

public:
    // `busy` tells whether downloads are running: nothing is installed then.
    ToolsSetup(DownloadTools tools, ToolInstallConfig config, std::function<bool()> busy,
               QObject* parent = nullptr);
    ~ToolsSetup() override;

    const DownloadTools& tools() const { return tools_; }
    bool installing() const { return installing_; }
    QString status() const { return status_; }
    bool ready() const { return ready_; }

    static QString statusFor(const DownloadTools::Check& check);

    // Looks again, since tools may have come or gone; blocking the first time a yt-dlp is seen.
    DownloadTools::Check recheck();

    // Fetches, verifies and installs the download tools on a thread of its own; nothing while
    // a download or an installation runs.
    Q_INVOKABLE void install();

signals:
    void installingChanged();
    void statusChanged();
    // The installation failed with this description.
    void failed(const QString& description);

private:
    void showStatus(const QString& status);
    // `unreachable`: the release server could not be reached at all.
    void installFinished(const std::optional<QString>& failure, bool unreachable,
                         const DownloadTools::Check& check);

    DownloadTools tools_;
    ToolInstallConfig config_;
    std::function<bool()> busy_;
    bool installing_ = false;
    QString status_;
    bool ready_ = false;
    // Last, so that it is stopped and joined before anything it reports to goes away.
    OwnedThreads installer_;
};

} // namespace quaymark
