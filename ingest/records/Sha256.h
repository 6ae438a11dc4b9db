// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct evp_md_ctx_st;

namespace quaymark {

// Streaming SHA-256 over OpenSSL; the digest is 64 lower-case hex digits.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(const void* data, size_t length);
    std::string finishHex();
    // The raw 32 bytes; the hash cannot be used afterwards.
    std::string finishBytes();

    static std::string hex(std::string_view data);

private:
    struct ContextDeleter {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, ContextDeleter> context_;
};

std::string toHex(std::string_view bytes);

} // namespace quaymark
