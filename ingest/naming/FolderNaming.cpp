// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderNaming.h"

#include "ingest/records/QuayError.h"

#include <utf8proc.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string_view>

namespace quaymark {

namespace {

constexpr size_t maxComponentBytes = 200;
constexpr size_t maxComponents = 8;

void replaceAll(std::string& text, std::string_view token, std::string_view value) {
    for (auto at = text.find(token); at != std::string::npos;
         at = text.find(token, at + value.size())) {
        text.replace(at, token.size(), value);
    }
}

// White space and line breaks: the Unicode separators plus tab, line feed, vertical tab,
// form feed, carriage return and next line.
bool isBlank(std::string_view text) {
    while (!text.empty()) {
        utf8proc_int32_t codepoint = -1;
        const auto length =
            utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                             static_cast<utf8proc_ssize_t>(text.size()), &codepoint);
        if (length < 0) {
            return false;
        }
        const auto category = utf8proc_category(codepoint);
        const bool blank = (codepoint >= 0x09 && codepoint <= 0x0D) || codepoint == 0x85 ||
                           category == UTF8PROC_CATEGORY_ZS || category == UTF8PROC_CATEGORY_ZL ||
                           category == UTF8PROC_CATEGORY_ZP;
        if (!blank) {
            return false;
        }
        text.remove_prefix(static_cast<size_t>(length));
    }
    return true;
}

std::string withoutSeparators(std::string text) {
    for (char& c : text) {
        if (c == '/' || c == ':') {
            c = '_';
        }
    }
    return text;
}

// Not empty or blank, not hidden (which also refuses "." and ".."), no ":", NUL or brace (a
// misspelt token stays in braces), and short enough for any file system.
bool isAcceptable(std::string_view piece) {
    constexpr std::string_view forbidden(":\0{}", 4);
    return !isBlank(piece) && !piece.starts_with('.') &&
           piece.find_first_of(forbidden) == std::string_view::npos &&
           piece.size() <= maxComponentBytes;
}

// Fixed ASCII digits in the local time zone, whatever the process locale.
struct DateTexts {
    std::string date, time, year, month, day;
};

DateTexts dateTexts(Timestamp date) {
    const std::time_t seconds =
        std::chrono::floor<std::chrono::seconds>(date.time_since_epoch()).count();
    std::tm local{};
    ::localtime_r(&seconds, &local);
    const auto format = [](const char* pattern, auto... values) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, pattern, values...);
        return std::string(buffer);
    };
    const int year = local.tm_year + 1900;
    return {format("%04d-%02d-%02d", year, local.tm_mon + 1, local.tm_mday),
            format("%02d%02d%02d", local.tm_hour, local.tm_min, local.tm_sec), format("%04d", year),
            format("%02d", local.tm_mon + 1), format("%02d", local.tm_mday)};
}

} // namespace

std::vector<std::string> FolderNaming::components(const std::string& rule,
                                                  const std::string& source, Timestamp date,
                                                  const std::optional<std::string>& camera) {
    const auto texts = dateTexts(date);
    std::string expanded = rule;
    replaceAll(expanded, "{date}", texts.date);
    replaceAll(expanded, "{time}", texts.time);
    replaceAll(expanded, "{year}", texts.year);
    replaceAll(expanded, "{month}", texts.month);
    replaceAll(expanded, "{day}", texts.day);
    // Camera before source, so a "{source}" inside a camera name is expanded too.
    const bool hasCamera = camera && !isBlank(*camera);
    replaceAll(expanded, "{camera}", withoutSeparators(hasCamera ? *camera : "Unknown Camera"));
    replaceAll(expanded, "{source}", withoutSeparators(source));

    std::vector<std::string> pieces;
    for (size_t start = 0;;) {
        const auto slash = expanded.find('/', start);
        pieces.push_back(expanded.substr(start, slash - start));
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    const bool valid =
        pieces.size() <= maxComponents && std::all_of(pieces.begin(), pieces.end(), isAcceptable);
    if (!valid) {
        throw QuayError::invalidLocation(
            "Use a relative folder rule with {date}, {time}, {source}, {year}, {month}, {day}, "
            "or {camera}. Avoid hidden folders, empty names and '..'.");
    }
    return pieces;
}

} // namespace quaymark
