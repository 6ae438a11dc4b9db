// SPDX-License-Identifier: GPL-3.0-or-later
#include "MountWatcher.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>

namespace quaymark::platform {

namespace {

// A card pulled and put back, or formatted and mounted again, between two reads of the table
// is another mount: its number tells it apart.
bool sameVolume(const VolumeInfo& a, const VolumeInfo& b) {
    return a.mountPoint == b.mountPoint && a.device == b.device && a.mountId == b.mountId;
}

const VolumeInfo* find(const std::vector<VolumeInfo>& volumes, const VolumeInfo& volume) {
    const auto found = std::find_if(volumes.begin(), volumes.end(),
                                    [&](const VolumeInfo& v) { return sameVolume(v, volume); });
    return found == volumes.end() ? nullptr : &*found;
}

} // namespace

VolumeChanges diffVolumes(const std::vector<VolumeInfo>& before,
                          const std::vector<VolumeInfo>& after) {
    VolumeChanges changes;
    for (const auto& old : before) {
        const VolumeInfo* now = find(after, old);
        if (!now) {
            changes.unmounted.push_back(old);
        } else if (now->name != old.name) {
            changes.renamed.emplace_back(old, *now);
        }
    }
    for (const auto& now : after) {
        if (!find(before, now)) {
            changes.mounted.push_back(now);
        }
    }
    return changes;
}

MountWatcher::MountWatcher(const SystemPaths& system, QObject* parent)
    : QObject(parent)
    , system_(system)
    , fd_(::open(system.mountInfo.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_) {
        notifier_ = std::make_unique<QSocketNotifier>(fd_.get(), QSocketNotifier::Exception);
        connect(notifier_.get(), &QSocketNotifier::activated, this, &MountWatcher::refresh);
    }
    volumes_ = read();
}

// The notifier goes before the descriptor it watches.
MountWatcher::~MountWatcher() {
    notifier_.reset();
}

std::vector<VolumeInfo> MountWatcher::read() const {
    if (!fd_) {
        return {};
    }
    // A table that cannot be read now says nothing about the mounts: keep the last one, as
    // reporting every volume unmounted would be wrong.
    if (::lseek(fd_.get(), 0, SEEK_SET) != 0) {
        return volumes_;
    }
    std::string text;
    std::array<char, 16384> buffer{};
    for (;;) {
        const ssize_t count = ::read(fd_.get(), buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return volumes_;
        }
        if (count == 0) {
            break;
        }
        text.append(buffer.data(), static_cast<size_t>(count));
    }
    return volumesOf(parseMountInfo(text), system_);
}

void MountWatcher::refresh() {
    auto now = read();
    const auto changes = diffVolumes(volumes_, now);
    volumes_ = std::move(now);
    for (const auto& volume : changes.unmounted) {
        emit unmounted(volume);
    }
    for (const auto& [before, after] : changes.renamed) {
        emit renamed(before, after);
    }
    for (const auto& volume : changes.mounted) {
        emit mounted(volume);
    }
}

} // namespace quaymark::platform
