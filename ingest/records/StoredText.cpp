// SPDX-License-Identifier: GPL-3.0-or-later
#include "StoredText.h"

#include <utf8proc.h>

namespace quaymark {

namespace {

constexpr utf8proc_int32_t byteBase = 0xF700;

void appendCodePoint(std::string& out, utf8proc_int32_t codePoint) {
    utf8proc_uint8_t encoded[4];
    const auto length = utf8proc_encode_char(codePoint, encoded);
    out.append(reinterpret_cast<const char*>(encoded), static_cast<size_t>(length));
}

} // namespace

std::string storedText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    const auto* data = reinterpret_cast<const utf8proc_uint8_t*>(bytes.data());
    size_t at = 0;
    while (at < bytes.size()) {
        utf8proc_int32_t codePoint = 0;
        const auto length = utf8proc_iterate(
            data + at, static_cast<utf8proc_ssize_t>(bytes.size() - at), &codePoint);
        if (length > 0 && !(codePoint >= byteBase + 0x80 && codePoint <= byteBase + 0xFF)) {
            out.append(bytes.substr(at, static_cast<size_t>(length)));
            at += static_cast<size_t>(length);
        } else if (length > 0) {
            // A name that already holds one of the byte characters: store its bytes one by one,
            // so that reading it back gives the same bytes.
            for (utf8proc_ssize_t i = 0; i < length; ++i) {
                appendCodePoint(out, byteBase + data[at + static_cast<size_t>(i)]);
            }
            at += static_cast<size_t>(length);
        } else {
            appendCodePoint(out, byteBase + data[at]);
            at += 1;
        }
    }
    return out;
}

std::string rawText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* data = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    size_t at = 0;
    while (at < text.size()) {
        utf8proc_int32_t codePoint = 0;
        const auto length = utf8proc_iterate(
            data + at, static_cast<utf8proc_ssize_t>(text.size() - at), &codePoint);
        if (length <= 0) {
            out += text[at++];
            continue;
        }
        if (codePoint >= byteBase + 0x80 && codePoint <= byteBase + 0xFF) {
            out += static_cast<char>(codePoint - byteBase);
        } else {
            out.append(text.substr(at, static_cast<size_t>(length)));
        }
        at += static_cast<size_t>(length);
    }
    return out;
}

} // namespace quaymark
