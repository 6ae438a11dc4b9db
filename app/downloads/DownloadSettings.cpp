// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QVariantMap>

#include <array>

namespace quaymark {

namespace {

const QString group = QStringLiteral("VideoProjects/");

struct BrowserHome {
    const char16_t* browser;
    // Below the home folder: where the browser keeps one folder per profile.
    const char16_t* folder;
    const char16_t* packaging;
};

constexpr std::array<BrowserHome, 11> homes{{
    {u"firefox", u".mozilla/firefox", u""},
    {u"firefox", u".var/app/org.mozilla.firefox/.mozilla/firefox", u" (Flatpak)"},
    {u"firefox", u"snap/firefox/common/.mozilla/firefox", u" (Snap)"},
    {u"chromium", u".config/chromium", u""},
    {u"chromium", u".var/app/org.chromium.Chromium/config/chromium", u" (Flatpak)"},
    {u"chromium", u"snap/chromium/common/chromium", u" (Snap)"},
    {u"chrome", u".config/google-chrome", u""},
    {u"chrome", u".var/app/com.google.Chrome/config/google-chrome", u" (Flatpak)"},
    {u"brave", u".config/BraveSoftware/Brave-Browser", u""},
    {u"brave", u".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser", u" (Flatpak)"},
    {u"brave", u"snap/brave/current/.config/BraveSoftware/Brave-Browser", u" (Snap)"},
}};

CookieChoice::Kind kindOf(const QString& source) {
    return source == u"file"      ? CookieChoice::Kind::File
           : source == u"browser" ? CookieChoice::Kind::Browser
                                  : CookieChoice::Kind::None;
}

QString pathOfProfile(const QVariant& profile) {
    return profile.toMap().value(QStringLiteral("path")).toString();
}

bool holdsCookies(const QString& profile) {
    return QFileInfo::exists(profile + u"/cookies.sqlite") ||
           QFileInfo::exists(profile + u"/Cookies") ||
           QFileInfo::exists(profile + u"/Network/Cookies");
}

} // namespace

DownloadSettings::DownloadSettings(const std::optional<QString>& fileName, QObject* parent)
    : QObject(parent)
    , settings_(fileName ? std::make_unique<QSettings>(*fileName, QSettings::IniFormat)
                         : std::make_unique<QSettings>(QStringLiteral("Brindleway"),
                                                       QStringLiteral("Quaymark"))) {
    choice_.kind = kindOf(settings_->value(group + u"cookieSource").toString());
    choice_.file = settings_->value(group + u"cookieFile").toString();
    choice_.browser = settings_->value(group + u"browser", QStringLiteral("firefox")).toString();
    choice_.profile = settings_->value(group + u"browserProfile").toString();
    choice_.keyring = settings_->value(group + u"keyring").toString();
    atOnce_ = std::clamp(settings_->value(group + u"downloadsAtOnce", 2).toInt(), 1, 4);
    findChosenProfiles();
}

DownloadSettings::~DownloadSettings() = default;

QString DownloadSettings::cookieSource() const {
    switch (choice_.kind) {
    case CookieChoice::Kind::File:
        return QStringLiteral("file");
    case CookieChoice::Kind::Browser:
        return QStringLiteral("browser");
    case CookieChoice::Kind::None:
        break;
    }
    return QStringLiteral("none");
}

void DownloadSettings::setCookieSource(const QString& source) {
    choice_.kind = kindOf(source);
    if (choice_.kind == CookieChoice::Kind::Browser) {
        findChosenProfiles(); // a profile made since shows when the browser is chosen again
    }
    store();
}

void DownloadSettings::setCookieFile(const QString& file) {
    choice_.file = file.trimmed();
    store();
}

void DownloadSettings::setBrowser(const QString& browser) {
    if (choice_.browser != browser) {
        choice_.browser = browser;
        choice_.profile.clear(); // another browser's profile means nothing to this one
        findChosenProfiles();
    }
    store();
}

void DownloadSettings::setBrowserProfile(const QString& profile) {
    choice_.profile = profile;
    store();
}

void DownloadSettings::setKeyring(const QString& keyring) {
    choice_.keyring = keyring;
    store();
}

void DownloadSettings::setDownloadsAtOnce(int count) {
    atOnce_ = std::clamp(count, 1, 4);
    store();
}

QStringList DownloadSettings::profileChoices() const {
    QStringList labels{QStringLiteral("Default profile")};
    for (const QVariant& profile : profiles_) {
        labels.append(profile.toMap().value(QStringLiteral("label")).toString());
    }
    return labels;
}

int DownloadSettings::profileIndex() const {
    for (qsizetype index = 0; index < profiles_.size(); ++index) {
        if (pathOfProfile(profiles_[index]) == choice_.profile) {
            return static_cast<int>(index + 1);
        }
    }
    return 0;
}

void DownloadSettings::setProfileIndex(int index) {
    setBrowserProfile(index > 0 && index <= profiles_.size() ? pathOfProfile(profiles_[index - 1])
                                                             : QString());
}

void DownloadSettings::chooseCookieFile(const QUrl& file) {
    if (file.isLocalFile()) {
        setCookieFile(file.toLocalFile());
    }
}

void DownloadSettings::findChosenProfiles() {
    profiles_ = findProfiles(choice_.browser, QDir::homePath());
}

QVariantList DownloadSettings::findProfiles(const QString& browser, const QString& home) {
    QVariantList found;
    for (const BrowserHome& place : homes) {
        if (browser != QStringView(place.browser)) {
            continue;
        }
        const QDir folder(home + u'/' + QString::fromUtf16(place.folder));
        for (const QString& name :
             folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            const QString path = folder.filePath(name);
            if (holdsCookies(path)) {
                QVariantMap profile;
                profile.insert(QStringLiteral("label"),
                               QString(name + QString::fromUtf16(place.packaging)));
                profile.insert(QStringLiteral("path"), path);
                found.append(profile);
            }
        }
    }
    return found;
}

void DownloadSettings::store() {
    settings_->setValue(group + u"cookieSource", cookieSource());
    settings_->setValue(group + u"cookieFile", choice_.file);
    settings_->setValue(group + u"browser", choice_.browser);
    settings_->setValue(group + u"browserProfile", choice_.profile);
    settings_->setValue(group + u"keyring", choice_.keyring);
    settings_->setValue(group + u"downloadsAtOnce", atOnce_);
    emit changed();
}

} // namespace quaymark
