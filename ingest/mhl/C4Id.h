// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace quaymark::AscMhl {

// The C4 ID of some bytes (SMPTE ST 2114): "c4" and the SHA-512 digest as a base58 number,
// left-padded with the alphabet's zero digit to 90 characters in all.
std::string c4Id(std::string_view bytes);

} // namespace quaymark::AscMhl
