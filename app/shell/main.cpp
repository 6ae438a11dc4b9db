// quaymark: the desktop application.

#include "QuaymarkApp.h"
#include "app/model/AppModel.h"
#include "app/ui/QuayTheme.h"

#include <QApplication>
#include <QIcon>
#include <QPalette>

int main(int argc, char** argv) {
    QApplication::setOrganizationName(QStringLiteral("Brindleway"));
    QApplication::setApplicationName(QStringLiteral("Quaymark"));
    QApplication::setApplicationDisplayName(QStringLiteral("Brindleway Quaymark"));
    QApplication::setDesktopFileName(QStringLiteral("quaymark"));
    QApplication application(argc, argv);
    // Closing the window leaves the application running with its status menu.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quaymark/quaymark.svg")));
    // The desktop's own colours, before the window's dark ones replace them: the closest Qt 6.4
    // comes to the desktop's colour scheme, which the tray's panel usually follows.
    const bool lightDesktop = QApplication::palette().color(QPalette::Window).lightness() > 128;
    quaymark::applyDarkAppearance();

    quaymark::QuaymarkApp app;
    app.setLightPanel(lightDesktop);
    if (!app.start()) {
        // A second start has handed over to the running instance; anything else failed.
        return app.model() && !app.model()->started() ? 0 : 1;
    }
    return QApplication::exec();
}
