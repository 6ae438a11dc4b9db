// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QObject>

#include <gtest/gtest.h>

namespace quaymark::test {

// Serves `object` under `name` on a session bus connection of its own, answering from the
// main event loop.
class FakeBusService {
public:
    FakeBusService(const QString& name, const QString& path, QObject* object)
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name))
        , name_(name) {
        EXPECT_TRUE(bus_.registerObject(path, object, QDBusConnection::ExportAllSlots));
        EXPECT_TRUE(bus_.registerService(name));
    }
    ~FakeBusService() {
        bus_.unregisterService(name_);
        QDBusConnection::disconnectFromBus(name_);
    }
    FakeBusService(const FakeBusService&) = delete;
    FakeBusService& operator=(const FakeBusService&) = delete;

private:
    QDBusConnection bus_;
    QString name_;
};

} // namespace quaymark::test
