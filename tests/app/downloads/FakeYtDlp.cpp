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
//   hold…     as plain, once a run of another host has begun
//   bot       the error of a site that wants cookies, and a line naming the cookies
//   list      with -J, a playlist of the videos named in the file "list" of the state folder
//             (one "id title" per line)
// With QUAYMARK_FAKE_STATE set to a folder, each run claims "running-<host>" there, failing
// when another run of that host holds it, marks "seen-<host>", and leaves its arguments in
// "argv-<segment>". "hold" waits until runs of two hosts were seen.
// "--help" lists the options of that command line, less any named in the file beside the
// executable whose name ends in ".help-omits" (an older release).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Unbuffered (see main), so a line is out before a pause.
void say(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// How every download's command line begins, in order.
// clang-format off
constexpr std::array<std::string_view, 18> opening{
    "--ignore-config", "--no-playlist", "--newline", "--no-colors", "--progress",
    "--progress-delta", "0.5",
    "--progress-template", "download:QM_PROGRESS:%(progress)j",
    "--progress-template", "postprocess:[%(progress.postprocessor)s] %(progress.status)s",
    "--print", "before_dl:QM_TITLE:%(title)j",
    "--print", "after_move:QM_FILE:%(filepath)j",
    "--print", "after_move:QM_META:%(.{id,extractor_key,uploader,upload_date})j",
    "--no-simulate"};
// Every option the app may give, for "--help".
constexpr std::array<std::string_view, 38> options{
    "--ignore-config", "--no-playlist", "--newline", "--no-colors", "--progress",
    "--progress-delta", "--progress-template", "--print", "--no-simulate", "--format",
    "--merge-output-format", "--ffmpeg-location", "--js-runtimes", "--continue",
    "--no-overwrites", "--retries", "--fragment-retries", "--socket-timeout", "--paths",
    "--output", "--write-info-json", "--sleep-requests", "--flat-playlist", "--embed-subs",
    "--write-subs", "--convert-subs", "--write-auto-subs", "--sub-langs", "--sleep-subtitles",
    "--embed-chapters", "--sponsorblock-mark", "--sponsorblock-remove", "--cookies",
    "--cookies-from-browser", "--extract-audio", "--audio-format", "--dump-single-json",
    "--format-sort"};
// clang-format on

void makeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The value after the first `option` whose value starts with `prefix`, without the prefix.
std::string valueOf(const std::vector<std::string>& a, std::string_view option,
                    std::string_view prefix = {}) {
    for (std::size_t index = 0; index + 1 < a.size(); ++index) {
        if (a[index] == option && a[index + 1].starts_with(prefix)) {
            return a[index + 1].substr(prefix.size());
        }
    }
    return {};
}

bool has(const std::vector<std::string>& a, std::string_view argument) {
    return std::find(a.begin(), a.end(), argument) != a.end();
}

std::string checkArguments(const std::vector<std::string>& a, bool listing) {
    if (a.size() < 3 || a[a.size() - 2] != "--" || a.back().empty() ||
        valueOf(a, "--sleep-requests") != "1") {
        return "address or request pacing";
    }
    const std::string deno = valueOf(a, "--js-runtimes", "deno:/");
    if (deno.empty() || !fs::exists("/" + deno)) {
        return "deno location";
    }
    if (listing) {
        return has(a, "--flat-playlist") && a[0] == "--ignore-config" ? "" : "listing options";
    }
    if (!std::equal(opening.begin(), opening.end(), a.begin())) {
        return "the opening of the command line";
    }
    const std::string home = valueOf(a, "--paths", "home:/");
    if (!fs::exists(fs::path(valueOf(a, "--ffmpeg-location")) / "ffmpeg") || home.empty() ||
        valueOf(a, "--paths", "temp:") != "/" + home + "/.incomplete") {
        return "tool or folder locations";
    }
    return {};
}

int help() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    const std::string omits = contents(self.string() + ".help-omits");
    say("Usage: yt-dlp [OPTIONS] URL [URL...]\n\nOptions:\n"
        "    -h, --help                      Print this help text and exit\n");
    for (const std::string_view option : options) {
        if (option != omits) {
            say("    " + std::string(option) + " VALUE    (stand-in)\n");
        }
    }
    return 0;
}

fs::path claimed;

void release(int) {
    if (!claimed.empty()) {
        ::unlink(claimed.c_str());
    }
    std::_Exit(143);
}

// One run per host at a time, as the queue promises; "hold" also waits for a run beside it.
std::string claimHost(const fs::path& state, const std::string& url, const std::string& mode) {
    const std::string host = std::regex_replace(url, std::regex(R"(^https?://([^/]+).*$)"), "$1");
    claimed = state / ("running-" + host);
    const int descriptor = ::open(claimed.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
    if (descriptor < 0) {
        claimed.clear();
        return "two runs of " + host + " at once";
    }
    ::close(descriptor);
    ::signal(SIGTERM, release);
    makeFile(state / ("seen-" + host), "");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (mode.starts_with("hold")) {
        // Runs of other hosts may come and go between two looks; the marks they leave stay.
        int runs = 0;
        for (const auto& entry : fs::directory_iterator(state)) {
            runs += entry.path().filename().string().starts_with("seen-") ? 1 : 0;
        }
        if (runs >= 2) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return "no other run beside this one";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
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

int list(const fs::path& state, const std::string& url, const std::string& mode) {
    if (mode != "list") {
        say("{\"_type\": \"video\", \"id\": \"" + mode + "\", \"title\": \"Clip " + mode + "\"}\n");
        return 0;
    }
    std::istringstream lines(contents(state / "list"));
    std::string entries;
    for (std::string id, title; lines >> id && std::getline(lines, title);) {
        entries += std::string(entries.empty() ? "" : ", ") +
                   "{\"_type\": \"url\", \"ie_key\": " + "\"Fake\", \"id\": \"" + id +
                   "\", \"url\": \"" + url.substr(0, url.rfind('/') + 1) + id +
                   "\", \"title\": \"" + title.substr(1) + "\"}";
    }
    say("{\"_type\": \"playlist\", \"id\": \"L1\", \"title\": \"Harbour channel\", \"entries\": [" +
        entries + "]}\n");
    return 0;
}

int download(const std::vector<std::string>& arguments, const std::string& mode) {
    const fs::path home = "/" + valueOf(arguments, "--paths", "home:/");
    const fs::path temporary = valueOf(arguments, "--paths", "temp:");
    const std::string url = arguments.back();
    const std::string title = "Clip \"" + mode + "\"";
    const fs::path output = home / (title + " [Fake-" + mode + "].mkv");

    say("QM_TITLE:\"Clip \\\"" + mode + "\\\"\"\n");
    say("[youtube] Extracting URL: " + url + "\n");
    say("QM_PROGRESS:{\"status\": \"downloading\", \"downloaded_bytes\": 0, \"total_bytes\": "
        "null, \"total_bytes_estimate\": null, \"speed\": null, \"eta\": null}\n");
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
    }
    if (mode == "nofile") {
        return 0;
    }
    // As yt-dlp 2023 prints it: the file line glued to the post-processor's message.
    say("[MoveFiles] finishedQM_FILE:\"" + quoted(output.string()) + "\"\n");
    say("QM_META:{\"id\": \"" + mode +
        "\", \"extractor_key\": \"Fake\", \"uploader\": \"Harbour Films\", "
        "\"upload_date\": \"20261201\"}\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments == std::vector<std::string>{"--help"}) {
        return help();
    }
    if (arguments == std::vector<std::string>{"--version"}) {
        say("2099.01.01\n");
        return 0;
    }
    const bool listing = has(arguments, "-J");
    if (const std::string why = checkArguments(arguments, listing); !why.empty()) {
        say("ERROR: unexpected arguments: " + why + "\n");
        return 3;
    }
    const std::string url = arguments.back();
    const std::string mode = url.substr(url.rfind('/') + 1);
    const char* stateFolder = std::getenv("QUAYMARK_FAKE_STATE");
    const fs::path state = stateFolder ? stateFolder : "";
    if (!state.empty()) {
        std::string written;
        for (const std::string& argument : arguments) {
            written += argument + "\n";
        }
        makeFile(state / ("argv-" + mode + (listing ? "-J" : "")), written);
        if (const std::string why = claimHost(state, url, mode); !why.empty()) {
            say("ERROR: " + why + "\n");
            return 5;
        }
    }
    int status = 0;
    if (mode == "silent") {
        status = 1;
    } else if (mode == "fail") {
        say("ERROR: [generic] Unable to download webpage: HTTP Error 404: Not Found\n");
        status = 1;
    } else if (mode == "bot") {
        say("[Cookies] Loading cookies from " + valueOf(arguments, "--cookies") + "\n");
        say("ERROR: [youtube] bot: Sign in to confirm you’re not a bot. Use --cookies-from-browser "
            "or --cookies for the authentication.\n");
        status = 1;
    } else {
        status = listing ? list(state, url, mode) : download(arguments, mode);
    }
    if (!claimed.empty()) {
        ::unlink(claimed.c_str());
    }
    return status;
}
