// SPDX-License-Identifier: GPL-3.0-or-later
// Stands in for yt-dlp: checks the command line it was given and prints what yt-dlp prints with
// those options. The last path segment of the address picks the behaviour:
//   plain     title, progress, file line, the file, exit 0
//   merge     as plain, with the post-processor lines around a merge
//   nofile    exit 0 without a file line
//   missing   a file line for a file that is never made
//   fail      an error line, exit 1
//   silent    exit 1 without output
//   pause     the first run leaves a partial file in the temporary folder and waits to be
//             stopped; a later run finishes from it
// "--help" lists the options of that command line, less any named in the file beside the
// executable whose name ends in ".help-omits" (an older release).
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Unbuffered (see main), so a line is out before a pause.
void say(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// The command line the app must give, in order; an empty entry is a path checked on its own.
// "--help" lists the options named here, so an option the app adds must be added here too.
// clang-format off
constexpr std::array<std::string_view, 41> expected{
    "--ignore-config", "--no-playlist", "--newline", "--no-colors", "--progress",
    "--progress-delta", "0.5",
    "--progress-template", "download:QM_PROGRESS:%(progress)j",
    "--progress-template", "postprocess:[%(progress.postprocessor)s] %(progress.status)s",
    "--print", "before_dl:QM_TITLE:%(title)j",
    "--print", "after_move:QM_FILE:%(filepath)j",
    "--no-simulate", "--format", "bv*+ba/b", "--merge-output-format", "mkv",
    "--ffmpeg-location", "", "--js-runtimes", "",
    "--continue", "--no-overwrites", "--retries", "10", "--fragment-retries", "10",
    "--socket-timeout", "30",
    "--paths", "", "--paths", "",
    "--output", "%(title).140B [%(extractor_key)s-%(id)s].%(ext)s",
    "--write-info-json", "--", ""};
// clang-format on

std::string checkArguments(const std::vector<std::string>& a) {
    if (a.size() != expected.size()) {
        return std::to_string(a.size()) + " arguments";
    }
    for (std::size_t index = 0; index < expected.size(); ++index) {
        if (!expected[index].empty() && a[index] != expected[index]) {
            return "argument " + std::to_string(index + 1) + " is " + a[index];
        }
    }
    if (!fs::exists(fs::path(a[21]) / "ffmpeg") || a[23].rfind("deno:/", 0) != 0 ||
        !fs::exists(a[23].substr(5))) {
        return "tool locations " + a[21] + " " + a[23];
    }
    const std::string home = a[33].rfind("home:/", 0) == 0 ? a[33].substr(5) : "";
    if (home.empty() || a[35] != "temp:" + home + "/.incomplete" || a[40].empty()) {
        return "folders or address";
    }
    return {};
}

void makeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

int help() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    const std::string omits = contents(self.string() + ".help-omits");
    say("Usage: yt-dlp [OPTIONS] URL [URL...]\n\nOptions:\n"
        "    -h, --help                      Print this help text and exit\n");
    for (const std::string_view option : expected) {
        if (option.starts_with("--") && option.size() > 2 && option != omits) {
            say("    " + std::string(option) + " VALUE    (stand-in)\n");
        }
    }
    return 0;
}

// The first run leaves a partial file and waits to be stopped; the next finishes from it.
void pauseOrResume(const fs::path& temporary, const fs::path& output) {
    fs::create_directories(temporary);
    const fs::path partial = temporary / "pause.mkv.part";
    if (!fs::exists(partial)) {
        makeFile(partial, "first half|");
        say("QM_PROGRESS:{\"downloaded_bytes\": 50, \"total_bytes\": 200, \"speed\": 1500000}"
            "\n");
        for (;;) {
            ::pause();
        }
    }
    makeFile(output, contents(partial) + "second half");
    fs::remove(partial);
    say("[download] Resuming download at byte 50\n");
}

// A JSON string's contents as yt-dlp writes them; the titles here are plain ASCII.
std::string quoted(const std::string& text) {
    return std::regex_replace(text, std::regex(R"(["\\])"), R"(\$&)");
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments == std::vector<std::string>{"--help"}) {
        return help();
    }
    if (const std::string why = checkArguments(arguments); !why.empty()) {
        say("ERROR: unexpected arguments: " + why + "\n");
        return 3;
    }
    const fs::path home = arguments[33].substr(5);
    const fs::path temporary = arguments[35].substr(5);
    const std::string url = arguments[40];
    const std::string mode = url.substr(url.rfind('/') + 1);
    const std::string title = "Clip \"" + mode + "\"";
    const fs::path output = home / (title + " [Fake-" + mode + "].mkv");

    if (mode == "silent") {
        return 1;
    }
    say("QM_TITLE:\"Clip \\\"" + mode + "\\\"\"\n");
    say("[youtube] Extracting URL: " + url + "\n");
    say("QM_PROGRESS:{\"status\": \"downloading\", \"downloaded_bytes\": 0, \"total_bytes\": "
        "null, \"total_bytes_estimate\": null, \"speed\": null, \"eta\": null}\n");
    if (mode == "fail") {
        say("ERROR: [generic] Unable to download webpage: HTTP Error 404: Not Found\n");
        return 1;
    }
    if (mode == "pause") {
        pauseOrResume(temporary, output);
    } else if (mode != "missing") {
        say("QM_PROGRESS:{\"downloaded_bytes\": 50, \"total_bytes\": null, "
            "\"total_bytes_estimate\": 200, \"speed\": 2500000.0}\n");
        makeFile(output, "video " + mode);
        makeFile(home / (title + " [Fake-" + mode + "].info.json"), "{}");
    }
    say("QM_PROGRESS:{\"downloaded_bytes\": 200, \"total_bytes\": 200, \"speed\": 3000000}\n");
    if (mode == "merge") {
        say("[Merger] started\n");
        say("[Merger] finished\n");
        say("[MoveFiles] finished\n");
    }
    if (mode == "nofile") {
        return 0;
    }
    say("QM_FILE:\"" + quoted(output.string()) + "\"\n");
    return 0;
}
