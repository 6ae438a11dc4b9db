// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest's main for screen tests: a QApplication on the offscreen platform with the
// software renderer, dark appearance as in the application, and an isolated home.

#include "ScreenHarness.h"
#include "TestEnvironment.h"
#include "app/ui/QuayTheme.h"

#include <QApplication>
#include <QQuickWindow>

#include <gtest/gtest.h>

// Read by LeakSanitizer where the tests are built with it. Qt Quick's canvas and image cache
// keep raster painters, images and textures past the end of their window; every such report
// is an indirect leak inside Qt's own libraries, never rooted in this program's objects.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt6Gui.so\nleak:libQt6Quick.so\n";
}

int main(int argc, char** argv) {
    quaymark::test::isolateHome();
    quaymark::test::useOffscreenScreen();
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    quaymark::applyDarkAppearance();
    return RUN_ALL_TESTS();
}
