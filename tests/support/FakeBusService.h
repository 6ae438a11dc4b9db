// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QThread>

#include <gtest/gtest.h>

namespace quaymark::test {

// Serves `object` under `name` on a session bus connection of its own. By default the main
// event loop answers. With `ownThread` the service takes the object and answers from a thread
// of its own, so that it can answer while the code under test waits on the main thread.
class FakeBusService {
public:
    FakeBusService(const QString& name, const QString& path, QObject* object,
                   bool ownThread = false)
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name))
        , name_(name) {
        if (ownThread) {
            owned_ = object;
            thread_.start();
            object->moveToThread(&thread_);
        }
        EXPECT_TRUE(bus_.registerObject(path, object, QDBusConnection::ExportAllSlots));
        EXPECT_TRUE(bus_.registerService(name));
    }
    ~FakeBusService() {
        bus_.unregisterService(name_);
        thread_.quit();
        thread_.wait();
        QDBusConnection::disconnectFromBus(name_);
        delete owned_;
    }
    FakeBusService(const FakeBusService&) = delete;
    FakeBusService& operator=(const FakeBusService&) = delete;

private:
    QDBusConnection bus_;
    QString name_;
    QObject* owned_ = nullptr;
    QThread thread_;
};

} // namespace quaymark::test
