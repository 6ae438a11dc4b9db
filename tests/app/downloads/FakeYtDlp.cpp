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
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

void say(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(STDOUT_FILENO, text.data(), text.size());
        if (written <= 0) {
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

// One line in two writes with a pause between, so the reader sees it across reads.
void sayInPieces(const std::string& line) {
    say(line.substr(0, line.size() / 2));
    ::usleep(50'000);
    say(line.substr(line.size() / 2));
}

int refuse(const std::string& why) {
    say("ERROR: unexpected arguments: " + why + "\n");
    return 3;
}

std::string checkArguments(const std::vector<std::string>& a) {
    if (a.size() != 41) {
        return std::to_string(a.size()) + " arguments";
    }
    const std::array<std::pair<std::size_t, std::string_view>, 31> fixed{{
        {0, "--ignore-config"},
        {1, "--no-playlist"},
        {2, "--newline"},
        {3, "--no-colors"},
        {4, "--progress"},
        {5, "--progress-delta"},
        {6, "0.5"},
        {7, "--progress-template"},
        {8, "download:QM_PROGRESS:%(progress)j"},
        {9, "--progress-template"},
        {10, "postprocess:[%(progress.postprocessor)s] %(progress.status)s"},
        {11, "--print"},
        {12, "before_dl:QM_TITLE:%(title)j"},
        {13, "--print"},
        {14, "after_move:QM_FILE:%(filepath)j"},
        {15, "--no-simulate"},
        {16, "--format"},
        {17, "bv*+ba/b"},
        {18, "--merge-output-format"},
        {19, "mkv"},
        {20, "--ffmpeg-location"},
        {22, "--js-runtimes"},
        {24, "--continue"},
        {25, "--no-overwrites"},
        {26, "--retries"},
        {27, "10"},
        {28, "--fragment-retries"},
        {29, "10"},
        {30, "--socket-timeout"},
        {31, "30"},
        {32, "--paths"},
    }};
    for (const auto& [index, text] : fixed) {
        if (a[index] != text) {
            return "argument " + std::to_string(index + 1) + " is " + a[index];
        }
    }
    if (!fs::exists(fs::path(a[21]) / "ffmpeg") || a[23].rfind("deno:/", 0) != 0 ||
        !fs::exists(a[23].substr(5))) {
        return "tool locations " + a[21] + " " + a[23];
    }
    const std::string home = a[33].rfind("home:/", 0) == 0 ? a[33].substr(5) : "";
    if (home.empty() || a[34] != "--paths" || a[35] != "temp:" + home + "/.incomplete" ||
        a[36] != "--output" || a[37] != "%(title).140B [%(extractor_key)s-%(id)s].%(ext)s" ||
        a[38] != "--write-info-json" || a[39] != "--") {
        return "folders or output template";
    }
    return {};
}

void makeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

int help() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    std::ifstream omitsFile(self.string() + ".help-omits");
    const std::string omits((std::istreambuf_iterator<char>(omitsFile)), {});
    say("Usage: yt-dlp [OPTIONS] URL [URL...]\n\nOptions:\n  General Options:\n"
        "    -h, --help                      Print this help text and exit\n");
    for (const std::string_view option : {"--ignore-config",
                                          "--no-playlist",
                                          "--newline",
                                          "--no-colors",
                                          "--progress",
                                          "--progress-delta SECONDS",
                                          "--progress-template [TYPES:]TEMPLATE",
                                          "--print [WHEN:]TEMPLATE",
                                          "--no-simulate",
                                          "-f, --format FORMAT",
                                          "--merge-output-format FORMAT",
                                          "--ffmpeg-location PATH",
                                          "--js-runtimes RUNTIME[:PATH]",
                                          "-c, --continue",
                                          "-w, --no-overwrites",
                                          "-R, --retries RETRIES",
                                          "--fragment-retries RETRIES",
                                          "--socket-timeout SECONDS",
                                          "-P, --paths [TYPES:]PATH",
                                          "-o, --output [TYPES:]TEMPLATE",
                                          "--write-info-json"}) {
        const std::string_view name = option.substr(0, option.find(' ', option.find("--")));
        const std::string_view longName = name.substr(name.find("--"));
        if (omits.find(longName) == std::string::npos) {
            say("    " + std::string(option) + "    (stand-in)\n");
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
    std::ifstream in(partial, std::ios::binary);
    const std::string start((std::istreambuf_iterator<char>(in)), {});
    makeFile(output, start + "second half");
    fs::remove(partial);
    say("[download] Resuming download at byte 50\n");
}

// A JSON string's contents as yt-dlp writes them, with non-ASCII escaped; the titles here are
// plain ASCII.
std::string quoted(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments == std::vector<std::string>{"--help"}) {
        return help();
    }
    if (const std::string why = checkArguments(arguments); !why.empty()) {
        return refuse(why);
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
    sayInPieces("QM_TITLE:\"Clip \\\"" + mode + "\\\"\"\n");
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
