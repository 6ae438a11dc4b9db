#pragma once

#include <QDBusUnixFileDescriptor>
#include <QString>

#include <optional>

namespace quaymark::platform {

// Keeps the machine awake while it exists: logind's inhibitor lock over the system bus, else
// the desktop session's screen saver inhibit, else nothing (without a bus nothing can be
// asked, and a long import must not fail for it). Bus calls time out after two seconds.
class SleepInhibitor {
public:
    enum class Way { logind, screenSaver, none };

    explicit SleepInhibitor(const QString& reason);
    ~SleepInhibitor();
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    Way way() const { return way_; }

private:
    bool inhibitWithLogind(const QString& reason);
    bool inhibitScreenSaver(const QString& reason);

    Way way_ = Way::none;
    // logind keeps the inhibition while this descriptor is open.
    QDBusUnixFileDescriptor lock_;
    QString screenSaverPath_;
    std::optional<uint> cookie_;
};

} // namespace quaymark::platform
