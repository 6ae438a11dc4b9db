// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace quaymark::cli {

// Where the command's words go: plain text for people (a redrawn live line on a terminal), or
// one JSON object per line for scripts.
// Text output shows names with control characters and invalid UTF-8 escaped; JSON output
// escapes them itself.
class Reporter {
public:
    explicit Reporter(bool json);

    bool json() const { return json_; }
    bool terminal() const { return terminal_; }

    void event(const nlohmann::json& object);
    void say(const std::string& line);
    // Replaces the live line on a terminal; elsewhere prints it as a line of its own.
    void live(const std::string& line);
    void error(const std::string& message);
    // What the user should know beside the work, such as "Already imported ...": standard
    // error, or a "notice" event of `kind`.
    void notice(const std::string& kind, const std::string& message);

private:
    void clearLive();

    bool json_;
    bool terminal_;
    bool liveShown_ = false;
};

// `text` as one word for a POSIX shell: single-quoted, with each single quote as '\''.
std::string shellQuoted(std::string_view text);

// A finding's state word as the first column of a line: "missing" gives "Missing    ".
std::string stateColumn(std::string word);

} // namespace quaymark::cli
