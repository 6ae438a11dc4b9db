// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest's main for tests of Qt objects: a QCoreApplication exists for the whole run, so
// event loops, timers and queued calls work as they do in the application.

#include "TestEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    quaymark::test::isolateHome();
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
