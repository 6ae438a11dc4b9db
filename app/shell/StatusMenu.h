// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

namespace quaymark {

class AppModel;

// The status menu in the desktop's tray: import state, the window, automatic ingest, settings
// and quit. Where the desktop has no tray the menu is built but not shown; a tray host that
// appears or goes later is followed.
class StatusMenu : public QObject {
    Q_OBJECT

public:
    explicit StatusMenu(AppModel& model, QObject* parent = nullptr);
    ~StatusMenu() override;

    QMenu& menu() { return menu_; }
    bool inTray() const { return tray_ != nullptr; }
    // Looks for a tray host now (the menu also looks every few seconds by itself).
    void followTray();
    // Dark symbols for light panels; light ones otherwise.
    void setLightPanel(bool light);
    // The symbol the tray shows: "arrow.down.circle.fill" while importing, else "sdcard".
    QString symbol() const;

signals:
    void openRequested();
    void settingsRequested();
    void quitRequested();
    void inTrayChanged(bool inTray);

private:
    void update();

    AppModel& model_;
    QMenu menu_;
    QAction* status_ = nullptr;
    QAction* automatic_ = nullptr;
    std::unique_ptr<QSystemTrayIcon> tray_;
    QTimer trayCheck_;
    bool lightPanel_ = false;
};

} // namespace quaymark
