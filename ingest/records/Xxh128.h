// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct XXH3_state_s;

namespace quaymark {

// Streaming XXH3 128-bit (libxxhash); the digest is its canonical form as 32 lower-case hex
// digits, as media hash lists write it.
class Xxh128 {
public:
    Xxh128();
    ~Xxh128();
    Xxh128(const Xxh128&) = delete;
    Xxh128& operator=(const Xxh128&) = delete;

    void update(const void* data, size_t length);
    std::string finishHex() const;

    static std::string hex(std::string_view data);

private:
    struct StateDeleter {
        void operator()(XXH3_state_s* state) const;
    };
    std::unique_ptr<XXH3_state_s, StateDeleter> state_;
};

} // namespace quaymark
