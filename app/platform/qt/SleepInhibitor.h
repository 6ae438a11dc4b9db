// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusUnixFileDescriptor>
#include <QString>

#include <memory>
#include <optional>

class QDBusPendingCall;

namespace quaymark::platform {

// Keeps the machine awake while it exists: logind's inhibitor lock over the system bus, else
// the desktop session's screen saver inhibit, else nothing (without a bus nothing can be
// asked, and a long import must not fail for it). The bus calls are asynchronous, so a
// stalled service never stalls the caller's thread: the activity is held from when the
// answer arrives. Needs the event loop of the thread that makes it.
class SleepInhibitor {
public:
    enum class Way { logind, screenSaver, none };

    explicit SleepInhibitor(const QString& reason);
    ~SleepInhibitor();
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    // What holds the activity now; none until an answer has arrived.
    Way way() const;

    // Shared with the answers still on their way, which may come after the inhibitor is gone.
    struct Hold {
        QString reason;
        bool released = false;
        Way way = Way::none;
        // logind keeps the inhibition while this descriptor is open.
        QDBusUnixFileDescriptor lock;
        QString screenSaverPath;
        std::optional<uint> cookie;
    };

private:
    std::shared_ptr<Hold> hold_;
};

} // namespace quaymark::platform
