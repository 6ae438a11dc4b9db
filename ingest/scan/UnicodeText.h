// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

// File names as Unicode text. Names on Linux are bytes and need not be UTF-8; every function
// here accepts any bytes and falls back to the raw bytes where the text is not valid UTF-8.
namespace quaymark::UnicodeText {

// `text` with ASCII letters lower-cased; every other byte kept.
std::string asciiLowercase(std::string_view text);

// The canonically composed form (NFC), or nothing when `text` is not valid UTF-8.
std::optional<std::string> composed(std::string_view text);

// The key under which two names count as the same: NFC, then lower-cased, so "Clip.MOV" and
// "clip.mov", or a precomposed and a decomposed "é", share one key. A name that is not valid
// UTF-8 keys as its bytes with ASCII letters lower-cased.
std::string nameKey(std::string_view name);

// Orders texts by the Unicode scalar values of their NFC form when compared bytewise (UTF-8
// keeps scalar order). A text that is not valid UTF-8 sorts by its raw bytes.
std::string sortKey(std::string_view text);

// The longest start of `text` that ends on a character (grapheme cluster) boundary and is at
// most `maxBytes` long. A byte that is not part of valid UTF-8 counts as a character.
std::string_view prefixWithin(std::string_view text, size_t maxBytes);

// `text` safe to print on a terminal: control characters (C0, DEL, C1) and bytes that are not
// valid UTF-8 are shown as escapes ("\x1B", "\u0085"), so that a file name cannot rewrite the
// terminal. Backslashes stay as they are, so a printed path can still be pasted.
std::string printable(std::string_view text);

} // namespace quaymark::UnicodeText
