// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuaymarkApp.h"

#include "BatchNotices.h"
#include "StatusMenu.h"
#include "app/core/AppDiagnostics.h"
#include "app/downloads/DownloadModel.h"
#include "app/model/AppModel.h"
#include "app/platform/qt/DesktopServices.h"
#include "app/ui/UiSetup.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>

namespace quaymark {

QuaymarkApp::QuaymarkApp()
    : post_(platform::postNotification) {}

QString QuaymarkApp::keepsRunningNotice() {
    return QStringLiteral(
        "Quaymark keeps running to import enrolled drives. Open it again from your applications.");
}

QuaymarkApp::~QuaymarkApp() {
    // The window goes before the models its bindings read.
    notices_.reset();
    statusMenu_.reset();
    // A window being destroyed is no longer a QQuickWindow: its last events must not reach the
    // filter, which reads it as one.
    if (window_) {
        window_->removeEventFilter(this);
    }
    engine_.reset();
}

bool QuaymarkApp::start() {
    // Before any model exists: a second start loads nothing.
    if (!instance_.acquireSingleInstance()) {
        handedOver_ = true;
        return false;
    }
    AppModel::Setup setup;
    setup.folderPicker = &actions_;
    model_ = std::make_unique<AppModel>(std::move(setup));
    DownloadModel::Setup downloadSetup;
    downloadSetup.folderPicker = &actions_;
    downloads_ = std::make_unique<DownloadModel>(std::move(downloadSetup));

    engine_ = makeUiEngine();
    window_ = loadMainWindow(*engine_,
                             {{QStringLiteral("appModel"), QVariant::fromValue(model_.get())},
                              {QStringLiteral("downloads"), QVariant::fromValue(downloads_.get())},
                              {QStringLiteral("shell"), QVariant::fromValue(&actions_)}});
    if (!window_) {
        AppDiagnostics::log(QStringLiteral("The main window could not be created"));
        return false;
    }
    showMainWindow();
    actions_.guard().attach(model_.get(), downloads_.get());

    connect(&instance_, &SingleInstance::activationRequested, this, [this](const QString& token) {
        AppDiagnostics::log(QStringLiteral("Activation requested by a second start"));
        showMainWindow(token);
    });
    connect(&actions_, &ShellActions::windowWanted, this, [this] { showMainWindow(); });
    window_->installEventFilter(this);
    actions_.setParentWindow(window_);

    statusMenu_ = std::make_unique<StatusMenu>(*model_);
    statusMenu_->setLightPanel(lightPanel_);
    connect(statusMenu_.get(), &StatusMenu::openRequested, this, [this] { showMainWindow(); });
    connect(statusMenu_.get(), &StatusMenu::settingsRequested, this, [this] {
        showMainWindow();
        model_->setShowSettings(true);
    });
    connect(statusMenu_.get(), &StatusMenu::quitRequested, &actions_, &ShellActions::requestQuit);
    const auto logTray = [](bool inTray) {
        AppDiagnostics::log(
            inTray ? QStringLiteral("System tray found; status menu shown")
                   : QStringLiteral("No system tray; running without the status menu"));
    };
    connect(statusMenu_.get(), &StatusMenu::inTrayChanged, this, logTray);
    if (!statusMenu_->inTray()) {
        logTray(false);
    }

    notices_ = std::make_unique<BatchNotices>(
        *model_, [this] { return window_ && window_->isVisible() && window_->isActive(); },
        [this](const QString& summary, const QString& body) { post_(summary, body); });
    return true;
}

void QuaymarkApp::showMainWindow(const QString& token) {
    if (!window_) {
        return;
    }
    if (!token.isEmpty()) {
        // Qt's Wayland window hands this variable to the compositor's activation request and
        // clears it; the X11 platform reads its startup id only when the process starts.
        qputenv("XDG_ACTIVATION_TOKEN", token.toLatin1());
    }
    window_->setWindowStates(window_->windowStates() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->requestActivate();
}

bool QuaymarkApp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close && watched == window_) {
        windowClosed();
    }
    return QObject::eventFilter(watched, event);
}

void QuaymarkApp::windowClosed() {
    if (!statusMenu_ || !model_ || statusMenu_->inTray()) {
        return;
    }
    if (!model_->autoEnabled()) {
        // After the close has run: the guard may need the window back for its question.
        QMetaObject::invokeMethod(&actions_, &ShellActions::requestQuit, Qt::QueuedConnection);
        return;
    }
    if (!std::exchange(toldKeepsRunning_, true)) {
        post_(keepsRunningNotice(), QString());
    }
}

} // namespace quaymark
