// SPDX-License-Identifier: GPL-3.0-or-later
#include "CameraText.h"

#include <utf8proc.h>

#include <cstdlib>
#include <memory>

namespace quaymark {

namespace {

constexpr char32_t replacement = 0xFFFD;

// Length of the sequence a lead byte starts and the range of its second byte (Unicode 15,
// table 3-7, well-formed UTF-8 byte sequences); 0 for a byte that cannot start one.
struct Lead {
    int length;
    unsigned char low;
    unsigned char high;
};

Lead leadOf(unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF) {
        return {2, 0x80, 0xBF};
    }
    if (b == 0xE0) {
        return {3, 0xA0, 0xBF};
    }
    if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) {
        return {3, 0x80, 0xBF};
    }
    if (b == 0xED) {
        return {3, 0x80, 0x9F};
    }
    if (b == 0xF0) {
        return {4, 0x90, 0xBF};
    }
    if (b >= 0xF1 && b <= 0xF3) {
        return {4, 0x80, 0xBF};
    }
    if (b == 0xF4) {
        return {4, 0x80, 0x8F};
    }
    return {0, 0, 0};
}

} // namespace

std::u32string CameraText::decodeRepairing(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t size = utf8.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned char b = bytes[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        const Lead lead = leadOf(b);
        if (lead.length == 0) {
            out.push_back(replacement);
            ++i;
            continue;
        }
        char32_t value = b & (lead.length == 2 ? 0x1F : lead.length == 3 ? 0x0F : 0x07);
        std::size_t used = 1;
        bool complete = true;
        for (int k = 1; k < lead.length; ++k) {
            if (i + used >= size) {
                complete = false;
                break;
            }
            const unsigned char c = bytes[i + used];
            const unsigned char low = k == 1 ? lead.low : 0x80;
            const unsigned char high = k == 1 ? lead.high : 0xBF;
            if (c < low || c > high) {
                complete = false;
                break;
            }
            value = (value << 6) | (c & 0x3F);
            ++used;
        }
        // A maximal subpart of an ill-formed sequence becomes one replacement character.
        out.push_back(complete ? value : replacement);
        i += used;
    }
    return out;
}

std::string CameraText::encode(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = replacement;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

bool CameraText::isWhitespaceOrNewline(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

bool CameraText::isControl(char32_t c) {
    if (c > 0x10FFFF) {
        return false;
    }
    const utf8proc_category_t category = utf8proc_category(static_cast<utf8proc_int32_t>(c));
    return category == UTF8PROC_CATEGORY_CC || category == UTF8PROC_CATEGORY_CF;
}

namespace {

template <typename Predicate>
std::u32string_view trimmed(std::u32string_view text, Predicate drop) {
    while (!text.empty() && drop(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && drop(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool isScalar(char32_t c) {
    return c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
}

} // namespace

std::u32string_view CameraText::trimmedWhitespace(std::u32string_view text) {
    return trimmed(text, isWhitespaceOrNewline);
}

std::u32string_view CameraText::trimmedControls(std::u32string_view text) {
    return trimmed(text, isControl);
}

std::u32string CameraText::lowercased(std::u32string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c == 0x0130) {
            // LATIN CAPITAL LETTER I WITH DOT ABOVE: its full lowercase mapping has two scalars.
            out.push_back(0x0069);
            out.push_back(0x0307);
        } else if (isScalar(c)) {
            out.push_back(
                static_cast<char32_t>(utf8proc_tolower(static_cast<utf8proc_int32_t>(c))));
        } else {
            out.push_back(c);
        }
    }
    return out;
}

char32_t CameraText::uppercased(char32_t c) {
    if (!isScalar(c)) {
        return c;
    }
    return static_cast<char32_t>(utf8proc_toupper(static_cast<utf8proc_int32_t>(c)));
}

std::size_t CameraText::characterCount(std::u32string_view text) {
    if (text.empty()) {
        return 0;
    }
    std::size_t count = 1;
    utf8proc_int32_t state = 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char32_t previous = isScalar(text[i - 1]) ? text[i - 1] : replacement;
        const char32_t current = isScalar(text[i]) ? text[i] : replacement;
        if (utf8proc_grapheme_break_stateful(static_cast<utf8proc_int32_t>(previous),
                                             static_cast<utf8proc_int32_t>(current), &state)) {
            ++count;
        }
    }
    return count;
}

std::string CameraText::caseFolded(std::u32string_view text) {
    const std::string utf8 = encode(text);
    utf8proc_uint8_t* folded = nullptr;
    const utf8proc_ssize_t length = utf8proc_map(
        reinterpret_cast<const utf8proc_uint8_t*>(utf8.data()),
        static_cast<utf8proc_ssize_t>(utf8.size()), &folded,
        static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE | UTF8PROC_CASEFOLD));
    const std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owner(folded, &std::free);
    if (length < 0) {
        // Only on allocation failure: the encoded text is always valid UTF-8.
        return utf8;
    }
    return std::string(reinterpret_cast<const char*>(folded), static_cast<std::size_t>(length));
}

} // namespace quaymark
