// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/camera/CameraName.h"
#include "ingest/camera/QuickTimeCameraReader.h"
#include "ingest/records/QuayError.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

// Shared by the libFuzzer target and the regression test that replays kept inputs: runs the
// QuickTime reader over `size` bytes behind an open descriptor and checks every read it makes.
namespace quaymark::fuzz {

// A read that breaks the reader's limits.
struct LimitViolation : std::logic_error {
    using std::logic_error::logic_error;
};

class LimitChecker final : public QuickTimeCameraReader::ReadObserver {
public:
    explicit LimitChecker(std::uint64_t size)
        : size_(size) {}

    void willRead(std::uint64_t offset, std::size_t count) override {
        // The reader may ask for 1 MiB in one read; the walk itself never needs more than one key
        // name or one value (1016 bytes), so check that tighter figure.
        constexpr std::size_t largestNeeded = QuickTimeCameraReader::largestDataPayload - 8;
        static_assert(largestNeeded <= QuickTimeCameraReader::largestRead);
        if (count > largestNeeded) {
            throw LimitViolation("read of " + std::to_string(count) + " bytes");
        }
        // A read may start at the end (an extended size cut off there) but never beyond it.
        if (offset > size_) {
            throw LimitViolation("read at " + std::to_string(offset) + " beyond " +
                                 std::to_string(size_));
        }
        ++reads_;
        bytes_ += count;
        // Every atom level reads disjoint parts of the file, and there are fewer than ten
        // levels and roles: anything above these bounds is a walk gone wrong.
        if (reads_ > 2 * size_ + 64 || bytes_ > 16 * size_ + 1024) {
            throw LimitViolation("unbounded walk: " + std::to_string(reads_) + " reads, " +
                                 std::to_string(bytes_) + " bytes for a file of " +
                                 std::to_string(size_));
        }
    }

private:
    std::uint64_t size_;
    std::uint64_t reads_ = 0;
    std::uint64_t bytes_ = 0;
};

// The camera name found, or nothing; reader failures are expected and absorbed, limit
// violations are thrown.
inline std::optional<std::string> runReader(int fd, std::uint64_t size) {
    LimitChecker checker(size);
    std::optional<std::string> name;
    try {
        name = QuickTimeCameraReader::detect(fd, size, &checker);
    } catch (const QuayError& error) {
        if (error.kind() != QuayError::Kind::unavailable) {
            throw LimitViolation(std::string("unexpected error: ") + error.what());
        }
        return std::nullopt;
    }
    if (name && name->empty()) {
        throw LimitViolation("empty camera name");
    }
    return name;
}

} // namespace quaymark::fuzz
