// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UniqueFd.h"

#include <filesystem>

namespace quaymark {

// Keeps a second run, of this process or another, out of an import folder.
class SessionLock {
public:
    explicit SessionLock(const std::filesystem::path& folder);
    // Whether a run, of this process or another, holds the folder now. Creates nothing.
    static bool heldNow(const std::filesystem::path& folder) noexcept;
    SessionLock(SessionLock&&) noexcept = default;
    SessionLock& operator=(SessionLock&&) noexcept = default;
    ~SessionLock() { release(); }

    int fd() const noexcept { return fd_.get(); }
    bool held() const noexcept { return static_cast<bool>(fd_); }
    void release() noexcept;
    // For a finished import: the empty file goes while it is still held, so no run slips in
    // between; a later resume makes a new one.
    void removeAndRelease() noexcept;

private:
    std::filesystem::path path_;
    UniqueFd fd_;
};

} // namespace quaymark
