// SPDX-License-Identifier: GPL-3.0-or-later
#include "UnicodeText.h"

#include <utf8proc.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace quaymark {

namespace {

const utf8proc_uint8_t* bytes(std::string_view text) {
    return reinterpret_cast<const utf8proc_uint8_t*>(text.data());
}

} // namespace

std::string UnicodeText::asciiLowercase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

std::optional<std::string> UnicodeText::composed(std::string_view text) {
    utf8proc_uint8_t* result = nullptr;
    const auto length =
        utf8proc_map(bytes(text), static_cast<utf8proc_ssize_t>(text.size()), &result,
                     utf8proc_option_t(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
    const std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owner(result, &std::free);
    if (length < 0) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(result), static_cast<size_t>(length));
}

std::string UnicodeText::nameKey(std::string_view name) {
    const auto nfc = composed(name);
    if (!nfc) {
        return asciiLowercase(name);
    }
    std::string key;
    key.reserve(nfc->size());
    std::string_view rest = *nfc;
    while (!rest.empty()) {
        utf8proc_int32_t codepoint = 0;
        const auto length =
            utf8proc_iterate(bytes(rest), static_cast<utf8proc_ssize_t>(rest.size()), &codepoint);
        utf8proc_uint8_t encoded[4];
        const auto written = utf8proc_encode_char(utf8proc_tolower(codepoint), encoded);
        key.append(reinterpret_cast<const char*>(encoded), static_cast<size_t>(written));
        rest.remove_prefix(static_cast<size_t>(length));
    }
    return key;
}

std::string UnicodeText::sortKey(std::string_view text) {
    auto nfc = composed(text);
    return nfc ? std::move(*nfc) : std::string(text);
}

std::string_view UnicodeText::prefixWithin(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    size_t boundary = 0;
    size_t offset = 0;
    utf8proc_int32_t previous = -1;
    utf8proc_int32_t state = 0;
    while (offset < maxBytes) {
        utf8proc_int32_t codepoint = -1;
        auto length =
            utf8proc_iterate(bytes(text.substr(offset)),
                             static_cast<utf8proc_ssize_t>(text.size() - offset), &codepoint);
        if (length < 0) {
            length = 1;
            codepoint = -1;
        }
        // A stray byte stands alone: a break before it, and before whatever follows it.
        if (offset > 0 && (previous < 0 || codepoint < 0 ||
                           utf8proc_grapheme_break_stateful(previous, codepoint, &state))) {
            boundary = offset;
        }
        if (codepoint < 0) {
            state = 0;
        }
        previous = codepoint;
        offset += static_cast<size_t>(length);
    }
    // The character that ends at `offset` fits only when the next one starts there.
    if (offset == maxBytes) {
        utf8proc_int32_t next = -1;
        const auto length = utf8proc_iterate(
            bytes(text.substr(offset)), static_cast<utf8proc_ssize_t>(text.size() - offset), &next);
        if (length < 0 || previous < 0 ||
            utf8proc_grapheme_break_stateful(previous, next, &state)) {
            boundary = offset;
        }
    }
    return text.substr(0, boundary);
}

std::string UnicodeText::printable(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    const auto escape = [&](const char* format, unsigned value) {
        char code[8];
        std::snprintf(code, sizeof code, format, value);
        shown += code;
    };
    size_t at = 0;
    while (at < text.size()) {
        utf8proc_int32_t point = 0;
        const auto length = utf8proc_iterate(
            bytes(text.substr(at)), static_cast<utf8proc_ssize_t>(text.size() - at), &point);
        if (length <= 0) {
            escape("\\x%02X", static_cast<unsigned char>(text[at]));
            at += 1;
            continue;
        }
        if (point < 0x20 || point == 0x7F) {
            escape("\\x%02X", static_cast<unsigned>(point));
        } else if (point >= 0x80 && point <= 0x9F) {
            escape("\\u%04X", static_cast<unsigned>(point));
        } else {
            shown.append(text.substr(at, static_cast<size_t>(length)));
        }
        at += static_cast<size_t>(length);
    }
    return shown;
}

} // namespace quaymark
