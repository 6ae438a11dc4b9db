// SPDX-License-Identifier: GPL-3.0-or-later
#include "Sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace quaymark {

void Sha256::ContextDeleter::operator()(evp_md_ctx_st* context) const {
    EVP_MD_CTX_free(context);
}

Sha256::Sha256()
    : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("SHA-256 is not available");
    }
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, size_t length) {
    if (EVP_DigestUpdate(context_.get(), data, length) != 1) {
        throw std::runtime_error("SHA-256 update failed");
    }
}

std::string Sha256::finishBytes() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_.get(), digest, &length) != 1) {
        throw std::runtime_error("SHA-256 finish failed");
    }
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string Sha256::finishHex() {
    return toHex(finishBytes());
}

std::string Sha256::hex(std::string_view data) {
    Sha256 hash;
    hash.update(data.data(), data.size());
    return hash.finishHex();
}

std::string toHex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

} // namespace quaymark
