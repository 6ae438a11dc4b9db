#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace quaymark::cli {

// Where the command's words go: plain text for people (a redrawn live line on a terminal), or
// one JSON object per line for scripts.
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

private:
    void clearLive();

    bool json_;
    bool terminal_;
    bool liveShown_ = false;
};

} // namespace quaymark::cli
