// SPDX-License-Identifier: GPL-3.0-or-later
#include "C4Id.h"

#include <openssl/evp.h>

#include <array>
#include <memory>
#include <stdexcept>

namespace quaymark {

namespace {

constexpr std::string_view alphabet = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr size_t idLength = 90;

std::array<unsigned char, 64> sha512(std::string_view bytes) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
    std::array<unsigned char, 64> digest{};
    unsigned int length = 0;
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha512(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size()) {
        throw std::runtime_error("SHA-512 is not available");
    }
    return digest;
}

} // namespace

std::string AscMhl::c4Id(std::string_view bytes) {
    // The digest as a big-endian number, divided by 58 until nothing is left.
    std::array<unsigned char, 64> number = sha512(bytes);
    std::string digits;
    for (bool zero = false; !zero;) {
        zero = true;
        unsigned remainder = 0;
        for (auto& byte : number) {
            const unsigned value = remainder * 256 + byte;
            byte = static_cast<unsigned char>(value / 58);
            remainder = value % 58;
            zero = zero && byte == 0;
        }
        digits += alphabet[remainder];
    }
    std::string id = "c4";
    id.append(idLength - 2 - digits.size(), alphabet[0]);
    id.append(digits.rbegin(), digits.rend());
    return id;
}

} // namespace quaymark
