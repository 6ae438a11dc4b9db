// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QTest>
#include <QThreadPool>

namespace quaymark::test {

// Every piece of background work has ended and its result was delivered to the main thread.
inline bool settle() {
    const bool done = QThreadPool::globalInstance()->waitForDone(30'000);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return done;
}

template <typename Condition>
bool waitFor(Condition condition) {
    return QTest::qWaitFor(condition, 30'000);
}

} // namespace quaymark::test
