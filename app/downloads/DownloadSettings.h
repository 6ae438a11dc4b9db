// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DownloadCommand.h"

#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <QtQmlIntegration/qqmlintegration.h>

#include <memory>
#include <optional>

namespace quaymark {

// The settings of every video project: where cookies come from and how many downloads run at
// once. Kept with the user's preferences, never in the projects file. Main thread.
class DownloadSettings : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The settings come from the download model.")
    // "none", "file" or "browser".
    Q_PROPERTY(QString cookieSource READ cookieSource WRITE setCookieSource NOTIFY changed)
    Q_PROPERTY(QString cookieFile READ cookieFile WRITE setCookieFile NOTIFY changed)
    // "firefox", "chromium", "chrome" or "brave".
    Q_PROPERTY(QString browser READ browser WRITE setBrowser NOTIFY changed)
    // A profile folder; empty for the browser's default profile.
    Q_PROPERTY(QString browserProfile READ browserProfile WRITE setBrowserProfile NOTIFY changed)
    // "", "basictext", "gnomekeyring" or "kwallet"; Chromium, Chrome and Brave only.
    Q_PROPERTY(QString keyring READ keyring WRITE setKeyring NOTIFY changed)
    Q_PROPERTY(int downloadsAtOnce READ downloadsAtOnce WRITE setDownloadsAtOnce NOTIFY changed)
    // The chosen browser's profiles found in the home folder, Flatpak and Snap ones included,
    // after "Default profile"; and the index of the chosen one.
    Q_PROPERTY(QStringList profileChoices READ profileChoices NOTIFY changed)
    Q_PROPERTY(int profileIndex READ profileIndex WRITE setProfileIndex NOTIFY changed)

public:
    // The user's preferences unless a file is given.
    explicit DownloadSettings(const std::optional<QString>& fileName = std::nullopt,
                              QObject* parent = nullptr);
    ~DownloadSettings() override;

    QString cookieSource() const;
    void setCookieSource(const QString& source);
    QString cookieFile() const { return choice_.file; }
    void setCookieFile(const QString& file);
    QString browser() const { return choice_.browser; }
    void setBrowser(const QString& browser);
    QString browserProfile() const { return choice_.profile; }
    void setBrowserProfile(const QString& profile);
    QString keyring() const { return choice_.keyring; }
    void setKeyring(const QString& keyring);
    int downloadsAtOnce() const { return atOnce_; }
    void setDownloadsAtOnce(int count);
    QStringList profileChoices() const;
    int profileIndex() const;
    void setProfileIndex(int index);
    // The file a file dialog chose.
    Q_INVOKABLE void chooseCookieFile(const QUrl& file);

    CookieChoice cookies() const { return choice_; }

    // Profiles of `browser` below `home`, each a folder that holds its cookie store.
    static QVariantList findProfiles(const QString& browser, const QString& home);

signals:
    void changed();

private:
    void store();
    // Looks for the chosen browser's profiles again: once per browser, not once per reader.
    void findChosenProfiles();

    std::unique_ptr<QSettings> settings_;
    CookieChoice choice_;
    QVariantList profiles_;
    int atOnce_ = 2;
};

} // namespace quaymark
