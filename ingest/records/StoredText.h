// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace quaymark {

// File names on Linux are bytes and need not be UTF-8, while import documents are JSON text.
// A byte that is not part of valid UTF-8 is stored as the private-use character U+F700 + byte,
// so that every name keeps a distinct, reversible text. Valid UTF-8 is stored unchanged.
std::string storedText(std::string_view bytes);

// The bytes of a stored text: the inverse of storedText.
std::string rawText(std::string_view text);

} // namespace quaymark
