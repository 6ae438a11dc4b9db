// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ChildProcess.h"
#include "TestFiles.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quaymark::platform {

// Loop devices and mounts made by tests, undone when the test ends even if it fails.
// A loop device over an image file, detached when the test ends.
class LoopDevice {
public:
    explicit LoopDevice(const std::filesystem::path& image) {
        auto result = test::runProcess({"/usr/sbin/losetup", "--find", "--show", image.string()});
        if (result.status == 0) {
            device_ = result.output.substr(0, result.output.find('\n'));
        } else {
            error_ = result.errors;
        }
    }
    ~LoopDevice() {
        if (!device_.empty()) {
            test::runProcess({"/usr/sbin/losetup", "--detach", device_});
        }
    }
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    const std::string& device() const { return device_; }
    const std::string& error() const { return error_; }

private:
    std::string device_;
    std::string error_;
};

// A mount made by the test, unmounted when it ends (lazily if something still holds it).
class TestMount {
public:
    // `type` "exfat-fuse" mounts through the FUSE driver, as this kernel has no exFAT.
    TestMount(const std::string& source, const std::filesystem::path& point,
              const std::string& type) {
        std::filesystem::create_directories(point);
        if (type == "exfat-fuse") {
            const auto result = test::runProcess(
                {"/usr/sbin/mount.exfat-fuse", "-o", "rw", source, point.string()});
            if (result.status == 0) {
                point_ = point;
            } else {
                error_ = result.errors;
            }
        } else if (::mount(source.c_str(), point.c_str(), type.c_str(), 0, nullptr) == 0) {
            point_ = point;
        } else {
            error_ = std::strerror(errno);
        }
    }
    ~TestMount() { unmount(); }
    TestMount(const TestMount&) = delete;
    TestMount& operator=(const TestMount&) = delete;

    void unmount() {
        if (!point_.empty() && ::umount2(point_.c_str(), 0) != 0) {
            ::umount2(point_.c_str(), MNT_DETACH);
        }
        point_.clear();
    }
    bool mounted() const { return !point_.empty(); }
    const std::string& error() const { return error_; }

private:
    std::filesystem::path point_;
    std::string error_;
};

// A fresh image made into a file system by `make` (the image's path is appended), on a loop
// device of its own, in a temporary folder that also takes the test's mount points.
class LoopCard {
public:
    explicit LoopCard(std::vector<std::string> make, std::uintmax_t size = 16 << 20) {
        const std::filesystem::path image = dir_ / "card.img";
        test::writeFile(image, "");
        std::filesystem::resize_file(image, size);
        if (!std::filesystem::exists(make.front())) {
            unavailable_ = make.front() + " is not installed";
            return;
        }
        make.push_back(image.string());
        if (const auto made = test::runProcess(make); made.status != 0) {
            unavailable_ = make.front() + " failed: " + made.errors;
            return;
        }
        loop_ = std::make_unique<LoopDevice>(image);
        if (loop_->device().empty()) {
            unavailable_ = "no loop device here: " + loop_->error();
        }
    }

    const std::string& device() const { return loop_->device(); }
    // Resolved, as the engine compares resolved paths.
    const std::filesystem::path& folder() const { return dir_.path(); }
    // Why this machine cannot have the card, for GTEST_SKIP; empty when it can.
    const std::string& unavailable() const { return unavailable_; }

private:
    test::TempDir dir_;
    std::unique_ptr<LoopDevice> loop_;
    std::string unavailable_;
};

} // namespace quaymark::platform
