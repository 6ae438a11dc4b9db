// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/platform/Volumes.h"
#include "ingest/copy/UniqueFd.h"

#include <QObject>

#include <memory>
#include <utility>
#include <vector>

class QSocketNotifier;

namespace quaymark::platform {

struct VolumeChanges {
    std::vector<VolumeInfo> unmounted;
    std::vector<std::pair<VolumeInfo, VolumeInfo>> renamed; // before, after
    std::vector<VolumeInfo> mounted;
};

// A volume is the same one while its mount point and device stay; a new name there is a
// rename.
VolumeChanges diffVolumes(const std::vector<VolumeInfo>& before,
                          const std::vector<VolumeInfo>& after);

// Reports volumes as they are mounted, unmounted and renamed; hidden ones are left out. The
// kernel flags the mount table as changed with a priority event on an open descriptor of it.
class MountWatcher : public QObject {
    Q_OBJECT

public:
    explicit MountWatcher(const SystemPaths& system = {}, QObject* parent = nullptr);
    ~MountWatcher() override;

    // Visible volumes as of the last read.
    const std::vector<VolumeInfo>& volumes() const { return volumes_; }
    // False when the mount table could not be opened; nothing is then reported.
    bool watching() const { return static_cast<bool>(fd_); }

public slots:
    // Reads the table again and reports what changed; runs by itself on every change.
    void refresh();

signals:
    // Unmounts come first, then renames, then mounts, so that a volume replaced at the same
    // place is gone before its successor arrives.
    void mounted(const quaymark::platform::VolumeInfo& volume);
    void unmounted(const quaymark::platform::VolumeInfo& volume);
    void renamed(const quaymark::platform::VolumeInfo& oldVolume,
                 const quaymark::platform::VolumeInfo& newVolume);

private:
    std::vector<VolumeInfo> read() const;

    SystemPaths system_;
    UniqueFd fd_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::vector<VolumeInfo> volumes_;
};

} // namespace quaymark::platform
