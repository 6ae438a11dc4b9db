// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/downloads/DownloadRunner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
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

TEST(DownloadRunnerTest, ReportsFailureAndCancellation) {
    {
        DownloadRunner runner;
        Observed observed;
        observe(runner, observed);
        runner.start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-c"), QStringLiteral("echo broken; exit 4")});
        waitForOutcome(observed);
        ASSERT_TRUE(observed.outcome.has_value());
        EXPECT_EQ(observed.outcome->kind, DownloadOutcome::Kind::Failed);
        EXPECT_EQ(observed.outcome->domain, QStringLiteral("Quaymark.Download"));
        EXPECT_EQ(observed.outcome->code, 4);
        EXPECT_EQ(observed.outcome->description, QStringLiteral("broken\n"));
    }
    {
        DownloadRunner runner;
        Observed observed;
        observe(runner, observed);
        runner.start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-c"), QStringLiteral("echo started; exec sleep 60")});
        QObject::connect(&runner, &DownloadRunner::line, &runner, &DownloadRunner::cancel);
        waitForOutcome(observed);
        ASSERT_TRUE(observed.outcome.has_value());
        EXPECT_EQ(observed.outcome->kind, DownloadOutcome::Kind::Cancelled);
    }
}

TEST(DownloadRunnerTest, DestroyingTheRunnerStopsTheHelper) {
    const auto start = std::chrono::steady_clock::now();
    {
        DownloadRunner runner;
        runner.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("sleep 60")});
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    // Calls it had queued are dropped with it.
    QCoreApplication::processEvents();
}

} // namespace
} // namespace quaymark
