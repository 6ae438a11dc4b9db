#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include <utility>

namespace quaymark {

// Runs blocking `work` on the shared pool and hands its result to `done` on the main thread,
// unless `owner` is gone by then.
template <typename Owner, typename Work, typename Done>
void runInBackground(Owner* owner, Work work, Done done) {
    QThreadPool::globalInstance()->start(
        [owner = QPointer<Owner>(owner), work = std::move(work), done = std::move(done)]() mutable {
            auto result = work();
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [owner, done = std::move(done), result = std::move(result)]() mutable {
                    if (owner) {
                        done(*owner, std::move(result));
                    }
                },
                Qt::QueuedConnection);
        });
}

} // namespace quaymark
