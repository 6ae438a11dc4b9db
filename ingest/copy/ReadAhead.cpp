// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReadAhead.h"

#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

namespace quaymark {

namespace {

bool setDirect(int fd, bool on) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ((flags & O_DIRECT) != 0) == on) {
        return false;
    }
    return ::fcntl(fd, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

// Fills the buffer unless the file ends first, so that direct reads stay aligned.
ReadAhead::Block readBlock(int fd, std::byte* data, size_t size, off_t offset) {
    size_t done = 0;
    bool buffered = false;
    while (done < size) {
        const ssize_t n = retryOnInterrupt([&] {
            return ::pread(fd, data + done, size - done, offset + static_cast<off_t>(done));
        });
        // The file system refused direct reads at this alignment. Another read in flight may
        // have turned them off already, so this one tries once more either way.
        if (n < 0 && errno == EINVAL && !std::exchange(buffered, true)) {
            setDirect(fd, false);
            continue;
        }
        if (n < 0) {
            return {data, -1, errno};
        }
        if (n == 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    return {data, static_cast<ssize_t>(done), 0};
}

} // namespace

ReadAhead::ReadAhead(int fd, size_t depth)
    : fd_(fd) {
    struct stat info {};
    if (::fstat(fd_, &info) == 0) {
        size_ = info.st_size;
    }
    // A small file gets buffers of its own size: many small files are in flight at once.
    const size_t bufferSize = std::min(copyBlockSize, requestSize(0));
    // A file of one block is read on the caller's thread: nothing would overlap the read.
    const bool several = size_ > static_cast<off_t>(copyBlockSize);
    inFlight_ = several ? readsInFlight : 1;
    // Every read in flight beyond the first needs a buffer of its own besides those the
    // caller may still hold.
    const size_t count = std::max<size_t>(depth, 1) + inFlight_ - 1;
    buffers_.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        buffers_.emplace_back(bufferSize);
    }
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    setDirect(fd_, true);
    if (several) {
        requestMore();
    }
}

ReadAhead::~ReadAhead() {
    for (auto& read : pending_) {
        read.wait();
    }
}

size_t ReadAhead::requestSize(off_t offset) const {
    // At or past the expected end, one aligned unit still tells whether the file grew.
    const auto remaining = static_cast<size_t>(std::max<off_t>(size_ - offset, 1));
    const size_t aligned = (remaining + AlignedBuffer::alignment - 1) / AlignedBuffer::alignment *
                           AlignedBuffer::alignment;
    return std::min(aligned, copyBlockSize);
}

void ReadAhead::requestMore() {
    while (pending_.size() < inFlight_) {
        const auto offset = static_cast<off_t>(requested_ * copyBlockSize);
        if (offset >= size_) {
            return;
        }
        std::byte* const data = buffers_[requested_ % buffers_.size()].data();
        pending_.push_back(
            std::async(std::launch::async, [fd = fd_, data, offset, size = requestSize(offset)] {
                return readBlock(fd, data, size, offset);
            }));
        ++requested_;
    }
}

ReadAhead::Block ReadAhead::next() {
    if (ended_) {
        return {nullptr, 0, 0};
    }
    Block block;
    if (!pending_.empty()) {
        block = pending_.front().get();
        pending_.pop_front();
    } else {
        // Past the expected end, the read that confirms the end costs less than a thread.
        block = readBlock(fd_, buffers_[current_ % buffers_.size()].data(), requestSize(offset_),
                          offset_);
        requested_ = current_ + 1; // so that no read in flight asks for this block again
    }
    const off_t expected = std::min(static_cast<off_t>(copyBlockSize), size_ - offset_);
    // A block short of what the file held when opened ends the file here: blocks asked for
    // beyond it would leave a gap.
    ended_ = block.size <= 0 || block.size < expected;
    if (block.size <= 0) {
        return block;
    }
    offset_ += block.size;
    ++current_;
    if (!ended_) {
        requestMore();
    }
    return block;
}

} // namespace quaymark
