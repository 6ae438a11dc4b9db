// SPDX-License-Identifier: GPL-3.0-or-later
#include "Reporter.h"

#include "ingest/scan/UnicodeText.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace quaymark::cli {

Reporter::Reporter(bool json)
    : json_(json)
    , terminal_(::isatty(STDERR_FILENO) == 1) {}

void Reporter::event(const nlohmann::json& object) {
    const std::string line = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

void Reporter::clearLive() {
    if (liveShown_) {
        std::fputs("\r\033[K", stderr);
        liveShown_ = false;
    }
}

void Reporter::say(const std::string& line) {
    clearLive();
    std::fflush(stderr);
    std::fprintf(stdout, "%s\n", UnicodeText::printable(line).c_str());
    std::fflush(stdout);
}

void Reporter::live(const std::string& line) {
    if (terminal_) {
        std::fprintf(stderr, "\r\033[K%s", UnicodeText::printable(line).c_str());
        liveShown_ = true;
    } else {
        std::fprintf(stderr, "%s\n", UnicodeText::printable(line).c_str());
    }
    std::fflush(stderr);
}

void Reporter::error(const std::string& message) {
    if (json_) {
        event({{"event", "error"}, {"message", message}});
        return;
    }
    clearLive();
    std::fprintf(stderr, "quaymark-ingest: %s\n", UnicodeText::printable(message).c_str());
    std::fflush(stderr);
}

void Reporter::notice(const std::string& kind, const std::string& message) {
    if (json_) {
        event({{"event", "notice"}, {"kind", kind}, {"message", message}});
        return;
    }
    clearLive();
    std::fprintf(stderr, "%s\n", UnicodeText::printable(message).c_str());
    std::fflush(stderr);
}

std::string stateColumn(std::string word) {
    if (!word.empty() && word[0] >= 'a' && word[0] <= 'z') {
        word[0] = static_cast<char>(word[0] - 'a' + 'A');
    }
    word.resize(std::max<size_t>(word.size() + 1, 11), ' ');
    return word;
}

std::string shellQuoted(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

} // namespace quaymark::cli
