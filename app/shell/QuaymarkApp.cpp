#include "QuaymarkApp.h"

#include "AppDiagnostics.h"
#include "BatchNotices.h"
#include "StatusMenu.h"
#include "app/downloads/DownloadModel.h"
#include "app/model/AppModel.h"
#include "app/platform/DesktopServices.h"
#include "app/ui/UiSetup.h"

#include <QQmlApplicationEngine>
#include <QQuickWindow>

namespace quaymark {

QuaymarkApp::QuaymarkApp() = default;

QuaymarkApp::~QuaymarkApp() {
    // The window goes before the models its bindings read.
    notices_.reset();
    statusMenu_.reset();
    engine_.reset();
}

bool QuaymarkApp::start() {
    AppModel::Setup setup;
    setup.instance = &instance_;
    setup.folderPicker = &actions_;
    model_ = std::make_unique<AppModel>(std::move(setup));
    if (!model_->started()) {
        return false;
    }
    DownloadModel::Setup downloadSetup;
    downloadSetup.folderPicker = &actions_;
    downloads_ = std::make_unique<DownloadModel>(std::move(downloadSetup));

    engine_ = makeUiEngine();
    window_ =
        loadMainWindow(*engine_, {{QStringLiteral("model"), QVariant::fromValue(model_.get())},
                                  {QStringLiteral("downloads"),
                                   QVariant::fromValue(static_cast<QObject*>(downloads_.get()))},
                                  {QStringLiteral("shell"), QVariant::fromValue(&actions_)}});
    if (!window_) {
        AppDiagnostics::log(QStringLiteral("The main window could not be created"));
        return false;
    }
    showMainWindow();
    actions_.guard().attach(model_.get(), downloads_.get());

    connect(&instance_, &SingleInstance::activationRequested, this, [this] {
        AppDiagnostics::log(QStringLiteral("Activation requested by a second start"));
        showMainWindow();
    });
    connect(&actions_, &ShellActions::windowWanted, this, &QuaymarkApp::showMainWindow);

    statusMenu_ = std::make_unique<StatusMenu>(*model_);
    connect(statusMenu_.get(), &StatusMenu::openRequested, this, &QuaymarkApp::showMainWindow);
    connect(statusMenu_.get(), &StatusMenu::settingsRequested, this, [this] {
        showMainWindow();
        model_->setShowSettings(true);
    });
    connect(statusMenu_.get(), &StatusMenu::quitRequested, &actions_, &ShellActions::requestQuit);
    if (!statusMenu_->inTray()) {
        AppDiagnostics::log(QStringLiteral("No system tray; running without the status menu"));
    }

    notices_ = std::make_unique<BatchNotices>(
        *model_, [this] { return window_ && window_->isVisible() && window_->isActive(); },
        platform::postNotification);
    return true;
}

void QuaymarkApp::showMainWindow() {
    if (!window_) {
        return;
    }
    window_->show();
    window_->raise();
    window_->requestActivate();
}

} // namespace quaymark
