// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/downloads/DownloadRunner.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>

namespace quaymark {
namespace {

TEST(DownloadRunnerTest, DestroyingTheRunnerStopsTheHelper) {
    pid_t helper = 0;
    {
        DownloadRunner runner;
        QObject::connect(&runner, &DownloadRunner::line,
                         [&](const QString& text) { helper = text.toInt(); });
        runner.start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-c"), QStringLiteral("echo $$; exec sleep 600")});
        ASSERT_TRUE(QTest::qWaitFor([&] { return helper != 0; }, 60'000));
    }
    // Gone and reaped, not left running or as a zombie.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ::kill(helper, 0) != 0 && errno == ESRCH; }, 60'000));
    // Calls it had queued are dropped with it.
    QCoreApplication::processEvents();
}

} // namespace
} // namespace quaymark
