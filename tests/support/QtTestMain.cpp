// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest's main for tests of Qt objects: a QGuiApplication on the off-screen platform exists
// for the whole run, so event loops, timers, queued calls and text layout (the report's PDF)
// work as they do in the application.

#include "TestEnvironment.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    quaymark::test::isolateHome();
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
