// SPDX-License-Identifier: GPL-3.0-or-later
// quaymark: the desktop application.

#include "QuaymarkApp.h"
#include "app/ui/QuayTheme.h"
#include "ingest/records/Version.h"

#include <QApplication>
#include <QIcon>
#include <QPalette>

int main(int argc, char** argv) {
    QApplication::setOrganizationName(QStringLiteral("Brindleway"));
    QApplication::setApplicationName(QStringLiteral("Quaymark"));
    QApplication::setApplicationDisplayName(QStringLiteral("Brindleway Quaymark"));
    QApplication::setDesktopFileName(QStringLiteral("quaymark"));
    QApplication::setApplicationVersion(QString::fromLatin1(quaymark::quaymarkVersion()));
    QApplication application(argc, argv);
    // Closing the window leaves the application running with its status menu.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quaymark/quaymark.svg")));
    // Qt 6.4 does not tell the desktop's colour scheme; its own palette, read before the window's
    // dark one replaces it, is the closest. Only Plasma's panels follow that scheme; GNOME's top
    // bar and most other panels stay dark whatever the applications use.
    const bool lightDesktop =
        QApplication::palette().color(QPalette::Window).lightness() > 128 &&
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QStringLiteral("KDE"));
    quaymark::applyDarkAppearance();

    quaymark::QuaymarkApp app;
    app.setLightPanel(lightDesktop);
    if (!app.start()) {
        // A second start has handed over to the running instance; anything else failed.
        return app.handedOver() ? 0 : 1;
    }
    return QApplication::exec();
}
