// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AlignedBuffer.h"

#include <sys/types.h>

#include <deque>
#include <future>
#include <vector>

namespace quaymark {

// Reads a file block by block, the next blocks always on their way from storage while the
// caller works on the current one. Reads bypass the page cache where the file system allows
// it: a camera card's data is read once, and a reread must come from storage.
class ReadAhead {
public:
    struct Block {
        const std::byte* data = nullptr;
        // Bytes in the block: 0 at the end of the file, -1 on error (see `error`).
        ssize_t size = 0;
        int error = 0;
    };

    // Direct reads asked of storage at once for a file of several blocks: with one request at
    // a time the device idles between them, a few keep its queue busy.
    static constexpr size_t readsInFlight = 3;

    // A returned block stays untouched until `depth` - 1 further calls to next().
    ReadAhead(int fd, size_t depth);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    Block next();

private:
    // Asks for the blocks after those asked for, up to `readsInFlight` and the expected end.
    void requestMore();

    // How much to ask for at `offset`: direct reads cost by the size asked, not by the size
    // read, so a small file is not read with a whole block's request.
    size_t requestSize(off_t offset) const;

    int fd_;
    off_t size_ = 0;
    std::vector<AlignedBuffer> buffers_;
    size_t inFlight_ = 1;
    // The block returned next, and the next one asked for; a block's buffer is its number
    // modulo the buffer count.
    size_t current_ = 0;
    size_t requested_ = 0;
    off_t offset_ = 0;
    bool ended_ = false;
    // Declared last: joined before the buffers they fill are freed. Oldest first.
    std::deque<std::future<Block>> pending_;
};

} // namespace quaymark
