// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

namespace quaymark {

// A page-aligned block buffer, freed on every exit path.
class AlignedBuffer {
public:
    static constexpr size_t alignment = 4096;

    explicit AlignedBuffer(size_t size)
        : size_(size)
        , data_(static_cast<std::byte*>(std::aligned_alloc(alignment, roundUp(size)))) {
        if (!data_) {
            throw std::bad_alloc();
        }
    }

    std::byte* data() const noexcept { return data_.get(); }
    size_t size() const noexcept { return size_; }

private:
    static size_t roundUp(size_t size) { return (size + alignment - 1) / alignment * alignment; }
    struct Free {
        void operator()(std::byte* p) const noexcept { std::free(p); }
    };
    size_t size_;
    std::unique_ptr<std::byte, Free> data_;
};

// Files are copied and reread in blocks of this size.
inline constexpr size_t copyBlockSize = 8 * 1024 * 1024;

} // namespace quaymark
