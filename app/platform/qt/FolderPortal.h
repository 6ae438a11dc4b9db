// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace quaymark::platform {

// The desktop's own folder chooser through the XDG desktop portal
// (org.freedesktop.portal.FileChooser on the session bus): GNOME, KDE and Flatpak sandboxes
// offer it.
class FolderPortal : public QObject {
    Q_OBJECT

public:
    enum class Outcome {
        Chosen,
        Dismissed,
        // No portal answered, or it could not show a chooser: show another dialog instead.
        Unavailable,
    };
    using Completion = std::function<void(Outcome, const QString& folder)>;

    explicit FolderPortal(QObject* parent = nullptr);
    ~FolderPortal() override;

    // A portal runs on the session bus or can be started there.
    static bool available();

    // Opens the chooser for one folder; the completion runs once, on the main thread.
    // `parentWindow` is the portal's window identifier ("x11:1a00003"), or empty; the chooser
    // opens on `start` where one is given.
    void choose(const QString& parentWindow, const QString& title, const QString& acceptLabel,
                const QString& start, Completion completion);

private:
    unsigned next_ = 0;
};

} // namespace quaymark::platform
