// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/downloads/DownloadRunner.h"

#include "TestFiles.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <filesystem>
#include <optional>

namespace quaymark {
namespace {

struct Observed {
    QStringList lines;
    bool allOnMainThread = true;
    std::optional<DownloadOutcome> outcome;
};

void observe(DownloadRunner& runner, Observed& observed) {
    QObject::connect(&runner, &DownloadRunner::line, [&](const QString& text) {
        observed.allOnMainThread &= QThread::currentThread() == qApp->thread();
        observed.lines.append(text);
    });
    QObject::connect(&runner, &DownloadRunner::finished,
                     [&](const DownloadOutcome& outcome) { observed.outcome = outcome; });
}

void waitForOutcome(const Observed& observed) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (observed.outcome) {
            loop.quit();
        }
    });
    poll.start(5);
    QTimer::singleShot(30'000, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST(DownloadRunnerTest, LinesReachTheMainThreadInOrderBeforeTheOutcome) {
    DownloadRunner runner;
    Observed observed;
    observe(runner, observed);
    runner.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("seq 1 3000")});
    waitForOutcome(observed);
    ASSERT_TRUE(observed.outcome.has_value());
    EXPECT_EQ(observed.outcome->kind, DownloadOutcome::Kind::Succeeded);
    ASSERT_EQ(observed.lines.size(), 3000);
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(observed.lines[i], QString::number(i + 1));
    }
    EXPECT_TRUE(observed.allOnMainThread);
    EXPECT_TRUE(observed.outcome->transcript.endsWith(QStringLiteral("2999\n3000\n")));
}

TEST(DownloadRunnerTest, DestroyingTheRunnerStopsTheHelper) {
    test::TempDir folder;
    const std::filesystem::path pid = folder / "pid";
    {
        DownloadRunner runner;
        runner.start(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"),
             QString::fromStdString("echo $$ > " + pid.string() + ".new && mv " + pid.string() +
                                    ".new " + pid.string() + " && exec sleep 600")});
        ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(pid); }, 60'000));
    }
    const pid_t helper = std::stoi(test::readFile(pid));
    // Gone and reaped, not left running or as a zombie.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ::kill(helper, 0) != 0 && errno == ESRCH; }, 60'000));
    // Calls it had queued are dropped with it.
    QCoreApplication::processEvents();
}

} // namespace
} // namespace quaymark
