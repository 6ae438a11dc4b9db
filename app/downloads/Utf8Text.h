// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quaymark {

// Helper output is arbitrary bytes; it becomes text with every invalid sequence replaced by U+FFFD.
std::string validUtf8(std::string_view bytes);

// Keeps the last `limit` code points of valid UTF-8 text.
void keepLastCharacters(std::string& text, std::size_t limit);

} // namespace quaymark
