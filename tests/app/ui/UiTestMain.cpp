// GoogleTest's main for screen tests: a QApplication on the offscreen platform with the
// software renderer, dark appearance as in the application, and an isolated home.

#include "TestEnvironment.h"
#include "app/ui/QuayTheme.h"

#include <QApplication>
#include <QQuickWindow>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    quaymark::test::isolateHome();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    quaymark::applyDarkAppearance();
    return RUN_ALL_TESTS();
}
