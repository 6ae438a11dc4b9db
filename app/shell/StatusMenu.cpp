// SPDX-License-Identifier: GPL-3.0-or-later
#include "StatusMenu.h"

#include "app/model/AppModel.h"
#include "app/ui/IconTable.h"
#include "ingest/records/Version.h"

#include <QIcon>
#include <QPixmap>

namespace quaymark {

namespace {

// Qt 6.4 tells nobody when a tray host comes or goes; asking is one round trip to the display
// server or the bus.
constexpr auto trayCheckInterval = std::chrono::seconds(5);

// The installed symbolic icon by name, which every desktop recolours for its panel; drawn
// icons where the theme lacks it, light or dark as best guessed.
QIcon trayIcon(const QString& symbol, bool lightPanel) {
    const QString themed = QStringLiteral("quaymark-symbolic");
    if (QIcon::hasThemeIcon(themed)) {
        return QIcon::fromTheme(themed);
    }
    const QColor tint = lightPanel ? QColor(0x20, 0x24, 0x28) : QColor(Qt::white);
    QIcon drawn;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        drawn.addPixmap(QPixmap::fromImage(renderIcon(symbol, QSize(side, side), tint)));
    }
    return drawn;
}

} // namespace

StatusMenu::StatusMenu(AppModel& model, QObject* parent)
    : QObject(parent)
    , model_(model) {
    menu_.addAction(QStringLiteral("Brindleway Quaymark %1").arg(QLatin1String(quaymarkVersion())))
        ->setEnabled(false);
    status_ = menu_.addAction(QString());
    status_->setEnabled(false);
    menu_.addSeparator();
    connect(menu_.addAction(QStringLiteral("Open Quaymark")), &QAction::triggered, this,
            &StatusMenu::openRequested);
    automatic_ = menu_.addAction(QStringLiteral("Automatic ingest"));
    automatic_->setCheckable(true);
    connect(automatic_, &QAction::toggled, &model_, &AppModel::setAutoEnabled);
    connect(menu_.addAction(QStringLiteral("Import Settings…")), &QAction::triggered, this,
            &StatusMenu::settingsRequested);
    menu_.addSeparator();
    QAction* quit = menu_.addAction(QStringLiteral("Quit Quaymark"));
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &StatusMenu::quitRequested);

    connect(model_.queue(), &ImportQueue::processingChanged, this, &StatusMenu::update);
    connect(&model_, &AppModel::autoEnabledChanged, this, &StatusMenu::update);

    connect(&trayCheck_, &QTimer::timeout, this, &StatusMenu::followTray);
    trayCheck_.start(trayCheckInterval);
    update();
    followTray();
}

StatusMenu::~StatusMenu() = default;

QString StatusMenu::symbol() const {
    return model_.queue()->processing() ? QStringLiteral("arrow.down.circle.fill")
                                        : QStringLiteral("sdcard");
}

void StatusMenu::followTray() {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available == inTray()) {
        return;
    }
    if (available) {
        tray_ = std::make_unique<QSystemTrayIcon>();
        tray_->setToolTip(QStringLiteral("Brindleway Quaymark"));
        tray_->setContextMenu(&menu_);
        connect(tray_.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger ||
                        reason == QSystemTrayIcon::DoubleClick) {
                        emit openRequested();
                    }
                });
        update();
        tray_->show();
    } else {
        tray_.reset();
    }
    emit inTrayChanged(available);
}

void StatusMenu::setLightPanel(bool light) {
    lightPanel_ = light;
    update();
}

void StatusMenu::update() {
    status_->setText(model_.queue()->processing() ? QStringLiteral("Import in progress")
                                                  : QStringLiteral("Ready to import"));
    if (automatic_->isChecked() != model_.autoEnabled()) {
        automatic_->setChecked(model_.autoEnabled());
    }
    if (tray_) {
        tray_->setIcon(trayIcon(symbol(), lightPanel_));
    }
}

} // namespace quaymark
