// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BatchNotices.h"
#include "ShellActions.h"
#include "SingleInstance.h"

#include <QObject>
#include <QPointer>
#include <QQuickWindow>

#include <memory>

class QQmlApplicationEngine;

namespace quaymark {

class AppModel;
class BatchNotices;
class DownloadModel;
class StatusMenu;

// The application root: the two models for the whole run, the one main window, the status
// menu and the quit guard. Lives on the main thread inside a QApplication.
class QuaymarkApp : public QObject {
    Q_OBJECT

public:
    QuaymarkApp();
    ~QuaymarkApp() override;

    // False for a second start: the running instance has been asked to show its window and
    // this one should end (handedOver()). Also false when the window cannot be created.
    bool start();
    bool handedOver() const { return handedOver_; }

    AppModel* model() const { return model_.get(); }
    QQuickWindow* window() const { return window_; }
    StatusMenu* statusMenu() const { return statusMenu_.get(); }
    ShellActions& actions() { return actions_; }

    // Shows the main window (again) in front of the others, un-minimised. `token` is a
    // launcher's activation token that lets the desktop give it the focus.
    void showMainWindow(const QString& token = QString());

    // How desktop notices go out; the desktop's notification service unless replaced before
    // start().
    void setNoticePoster(BatchNotices::Post post) { post_ = std::move(post); }
    // The desktop uses light panels (the tray symbols are drawn dark); call before start().
    void setLightPanel(bool light) { lightPanel_ = light; }

    // The window was closed. In the tray nothing more happens. Without a tray the process
    // would live on unseen: it quits through the quit guard, unless automatic ingest needs it,
    // which the user is told once.
    void windowClosed();

    static QString keepsRunningNotice();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Declared first so that it is destroyed last: the models hold its folder picker.
    ShellActions actions_;
    SingleInstance instance_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<DownloadModel> downloads_;
    // Destroyed before the models its bindings read.
    std::unique_ptr<QQmlApplicationEngine> engine_;
    QPointer<QQuickWindow> window_;
    std::unique_ptr<StatusMenu> statusMenu_;
    std::unique_ptr<BatchNotices> notices_;
    BatchNotices::Post post_;
    bool lightPanel_ = false;
    bool toldKeepsRunning_ = false;
    bool handedOver_ = false;
};

} // namespace quaymark
