// quaymark: the desktop application.

#include "QuaymarkApp.h"
#include "app/model/AppModel.h"
#include "app/ui/QuayTheme.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication::setOrganizationName(QStringLiteral("Brindleway"));
    QApplication::setApplicationName(QStringLiteral("Quaymark"));
    QApplication::setApplicationDisplayName(QStringLiteral("Brindleway Quaymark"));
    QApplication::setDesktopFileName(QStringLiteral("quaymark"));
    QApplication application(argc, argv);
    // Closing the window leaves the application running with its status menu.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quaymark/quaymark.svg")));
    quaymark::applyDarkAppearance();

    quaymark::QuaymarkApp app;
    if (!app.start()) {
        // A second start has handed over to the running instance; anything else failed.
        return app.model() && !app.model()->started() ? 0 : 1;
    }
    return QApplication::exec();
}
