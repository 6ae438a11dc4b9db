#include "CameraTestSupport.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace quaymark::test {

std::string be32(std::uint32_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[static_cast<std::size_t>(i)] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
    }
    return out;
}

std::string be64(std::uint64_t value) {
    return be32(static_cast<std::uint32_t>(value >> 32)) + be32(static_cast<std::uint32_t>(value));
}

std::string atom(std::string_view type, std::string_view payload) {
    return be32(static_cast<std::uint32_t>(8 + payload.size())) + std::string(type) +
           std::string(payload);
}

std::string atom64(std::string_view type, std::string_view payload) {
    return be32(1) + std::string(type) + be64(16 + payload.size()) + std::string(payload);
}

std::string fullAtom(std::string_view type, std::string_view payload) {
    return atom(type, std::string(4, '\0') + std::string(payload));
}

std::string keysAtom(const std::vector<std::string>& names) {
    std::string entries = be32(static_cast<std::uint32_t>(names.size()));
    for (const std::string& name : names) {
        entries += be32(static_cast<std::uint32_t>(8 + name.size())) + "mdta" + name;
    }
    return fullAtom("keys", entries);
}

std::string dataAtom(std::string_view value) {
    return atom("data", be32(1) + be32(0) + std::string(value));
}

std::string itemAtom(std::uint32_t index, std::string_view value) {
    return atom(be32(index), dataAtom(value));
}

std::string metaAtom(const std::vector<std::string>& keys, std::string_view items) {
    const std::string hdlr =
        fullAtom("hdlr", std::string(4, '\0') + "mdta" + std::string(12, '\0') + '\0');
    return fullAtom("meta", hdlr + keysAtom(keys) + atom("ilst", items));
}

std::string makeModelMeta(std::optional<std::string> make, std::optional<std::string> model) {
    std::vector<std::string> keys;
    std::string items;
    if (make) {
        keys.push_back("com.apple.quicktime.make");
        items += itemAtom(static_cast<std::uint32_t>(keys.size()), *make);
    }
    if (model) {
        keys.push_back("com.apple.quicktime.model");
        items += itemAtom(static_cast<std::uint32_t>(keys.size()), *model);
    }
    return metaAtom(keys, items);
}

std::string ftyp() {
    return atom("ftyp", std::string("qt  ") + be32(0x200) + "qt  ");
}

std::string clipWithUdtaMeta(std::string_view meta) {
    return ftyp() + atom("moov", atom("udta", meta));
}

std::optional<std::filesystem::path> findFfmpeg() {
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "/usr/bin:/bin";
    while (!folders.empty()) {
        const std::size_t colon = folders.find(':');
        const std::string_view folder = folders.substr(0, colon);
        if (!folder.empty()) {
            const std::filesystem::path candidate = std::filesystem::path(folder) / "ffmpeg";
            if (::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (colon == std::string_view::npos) {
            break;
        }
        folders.remove_prefix(colon + 1);
    }
    return std::nullopt;
}

bool runFfmpeg(const std::vector<std::string>& arguments) {
    const std::optional<std::filesystem::path> ffmpeg = findFfmpeg();
    if (!ffmpeg) {
        return false;
    }
    std::vector<std::string> all = {ffmpeg->string(), "-nostdin", "-v", "error", "-y"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, all[0].c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool makeClip(const std::filesystem::path& output, const std::vector<std::string>& metadata) {
    std::vector<std::string> arguments = {"-f", "lavfi", "-i", "color=c=black:s=64x64:d=0.1"};
    arguments.insert(arguments.end(), metadata.begin(), metadata.end());
    arguments.push_back(output.string());
    return runFfmpeg(arguments);
}

} // namespace quaymark::test
