// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

// Reads the camera make and model from the keys/ilst metadata of a QuickTime or
// MPEG-4 clip with bounded positioned reads, and returns them normalised.
namespace quaymark::QuickTimeCameraReader {

// Fixed limits: a card can hold files that anyone wrote.
inline constexpr std::size_t largestRead = 1'048'576;
inline constexpr std::size_t atomsPerLevel = 4096;
inline constexpr std::uint32_t largestKeyCount = 4096;
inline constexpr std::size_t largestKeyEntry = 1024;
inline constexpr std::size_t largestDataPayload = 1024;
inline constexpr std::uint64_t smallestFile = 8;

// The normalised camera name of a clip, or nothing when the file cannot be opened or measured,
// is not a regular file, or has no usable metadata. A final symbolic link is not followed.
// Throws QuayError (unavailable) with "Invalid metadata extent", "Cannot read camera metadata"
// or "Truncated camera metadata" when a positioned read fails.
std::optional<std::string> detect(const std::filesystem::path& file);

// Sees every positioned read before it is made (the fuzz target checks the limits with it).
class ReadObserver {
public:
    virtual void willRead(std::uint64_t offset, std::size_t count) = 0;

protected:
    ~ReadObserver() = default;
};

// The same walk over an already open descriptor of `size` bytes; the descriptor stays open.
std::optional<std::string> detect(int fd, std::uint64_t size, ReadObserver* observer = nullptr);

} // namespace quaymark::QuickTimeCameraReader
