// SPDX-License-Identifier: GPL-3.0-or-later
#include "Xxh128.h"

#include "Sha256.h"

#include <xxhash.h>
#if defined(__x86_64__) || defined(__i386__)
#include <xxh_x86dispatch.h>
#endif

#include <stdexcept>

namespace quaymark {

void Xxh128::StateDeleter::operator()(XXH3_state_s* state) const {
    XXH3_freeState(state);
}

Xxh128::Xxh128()
    : state_(XXH3_createState()) {
    if (!state_ || XXH3_128bits_reset(state_.get()) != XXH_OK) {
        throw std::runtime_error("XXH3 is not available");
    }
}

Xxh128::~Xxh128() = default;

void Xxh128::update(const void* data, size_t length) {
#if defined(__x86_64__) || defined(__i386__)
    // The library's dispatch picks the widest vector unit the processor has (AVX2 and up),
    // several times the speed of its baseline build.
    const XXH_errorcode result = XXH3_128bits_update_dispatch(state_.get(), data, length);
#else
    const XXH_errorcode result = XXH3_128bits_update(state_.get(), data, length);
#endif
    if (result != XXH_OK) {
        throw std::runtime_error("XXH3 update failed");
    }
}

std::string Xxh128::finishHex() const {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state_.get()));
    return toHex(
        std::string_view(reinterpret_cast<const char*>(canonical.digest), sizeof canonical.digest));
}

std::string Xxh128::hex(std::string_view data) {
    Xxh128 hash;
    hash.update(data.data(), data.size());
    return hash.finishHex();
}

} // namespace quaymark
