// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReadAhead.h"

#include "UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

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
    while (done < size) {
        const ssize_t n = retryOnInterrupt([&] {
            return ::pread(fd, data + done, size - done, offset + static_cast<off_t>(done));
        });
        if (n < 0 && errno == EINVAL && setDirect(fd, false)) {
            continue; // the file system refused direct reads at this alignment
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
    buffers_.reserve(depth);
    for (size_t i = 0; i < depth; ++i) {
        buffers_.emplace_back(bufferSize);
    }
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    setDirect(fd_, true);
    // A file of one block is read on the caller's thread: nothing would overlap the read.
    if (size_ > static_cast<off_t>(copyBlockSize)) {
        start();
    }
}

ReadAhead::~ReadAhead() {
    if (pending_.valid()) {
        pending_.wait();
    }
}

size_t ReadAhead::requestSize(off_t offset) const {
    // At or past the expected end, one aligned unit still tells whether the file grew.
    const auto remaining = static_cast<size_t>(std::max<off_t>(size_ - offset, 1));
    const size_t aligned = (remaining + AlignedBuffer::alignment - 1) / AlignedBuffer::alignment *
                           AlignedBuffer::alignment;
    return std::min(aligned, copyBlockSize);
}

void ReadAhead::start() {
    std::byte* const data = buffers_[current_].data();
    pending_ = std::async(std::launch::async,
                          [fd = fd_, data, offset = offset_, size = requestSize(offset_)] {
                              return readBlock(fd, data, size, offset);
                          });
}

ReadAhead::Block ReadAhead::next() {
    if (ended_) {
        return {nullptr, 0, 0};
    }
    // Past the expected end, the read that confirms the end costs less than a thread.
    const Block block =
        pending_.valid() ? pending_.get()
                         : readBlock(fd_, buffers_[current_].data(), requestSize(offset_), offset_);
    if (block.size <= 0) {
        ended_ = true;
        return block;
    }
    offset_ += block.size;
    current_ = (current_ + 1) % buffers_.size();
    if (offset_ < size_) {
        start();
    }
    return block;
}

} // namespace quaymark
