// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Unicode text helpers of the camera readers (internal to ingest/camera).
namespace quaymark::CameraText {

// Decodes UTF-8, replacing every maximal invalid subpart with U+FFFD (as Swift's
// String(decoding:as: UTF8.self) does).
std::u32string decodeRepairing(std::string_view utf8);
std::string encode(std::u32string_view text);

// Unicode White_Space (Swift's .whitespacesAndNewlines).
bool isWhitespaceOrNewline(char32_t c);
// General categories Cc and Cf (Swift's .controlCharacters).
bool isControl(char32_t c);

std::u32string_view trimmedWhitespace(std::u32string_view text);
std::u32string_view trimmedControls(std::u32string_view text);

// Full lowercase mapping (simple mappings plus U+0130's two-scalar mapping).
std::u32string lowercased(std::u32string_view text);
// Simple uppercase mapping, one scalar for one, so positions are kept.
char32_t uppercased(char32_t c);

// Extended grapheme clusters ("characters").
std::size_t characterCount(std::u32string_view text);

// Case-folded NFC form, for case-insensitive comparison.
std::string caseFolded(std::u32string_view text);

} // namespace quaymark::CameraText
