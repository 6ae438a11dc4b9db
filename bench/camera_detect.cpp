// SPDX-License-Identifier: GPL-3.0-or-later
// Camera detection over a card of 8 large clips whose metadata the QuickTime reader finds:
// the time and the bytes read must not grow with the clip size, because only atom headers
// and small values are read.
//   camera_detect_bench [work folder, default the temporary folder]
// Each clip is a small real clip (made by ffmpeg when it is installed, else built byte by byte)
// whose media atom is grown to the clip size with a 64-bit header; the growth is a hole of a
// sparse file, so a 16 GiB card costs no disk space. The moov atom stays at the end, after the
// media, as cameras write it.

#include "ingest/camera/CameraMetadata.h"
#include "ingest/camera/QuickTimeCameraReader.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace quaymark;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::uint64_t MiB = 1024 * 1024;
constexpr std::uint64_t GiB = 1024 * MiB;
constexpr int clipsPerCard = 8;

std::string be32(std::uint32_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        out[static_cast<size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
    }
    return out;
}

std::string be64(std::uint64_t value) {
    return be32(static_cast<std::uint32_t>(value >> 32)) + be32(static_cast<std::uint32_t>(value));
}

std::string atom(const std::string& type, const std::string& payload) {
    return be32(static_cast<std::uint32_t>(8 + payload.size())) + type + payload;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::uint32_t wordAt(const std::string& bytes, size_t at) {
    std::uint32_t value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

// ffmpeg's clip: ftyp, wide (8 bytes), mdat, moov; or a byte-built one of the same shape.
struct SmallClip {
    std::string head;  // up to the media payload
    std::string media; // the media payload
    std::string tail;  // moov
    const char* origin;
};

SmallClip smallClip(const fs::path& work) {
    const fs::path made = work / "small.mov";
    std::vector<std::string> args = {"ffmpeg",
                                     "-nostdin",
                                     "-v",
                                     "error",
                                     "-y",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "color=c=black:s=64x64:d=0.1",
                                     "-movflags",
                                     "use_metadata_tags",
                                     "-metadata",
                                     "com.apple.quicktime.make=Canon",
                                     "-metadata",
                                     "com.apple.quicktime.model=Canon EOS R5",
                                     made.string()};
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = 1;
    if (::posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) == 0) {
        ::waitpid(pid, &status, 0);
    }
    if (status == 0) {
        const std::string bytes = readAll(made);
        fs::remove(made);
        // ftyp, then "wide", then "mdat" (32-bit size), then moov.
        const std::uint32_t ftypSize = wordAt(bytes, 0);
        const size_t wide = ftypSize;
        const size_t mdat = wide + 8;
        if (bytes.compare(wide + 4, 4, "wide") == 0 && bytes.compare(mdat + 4, 4, "mdat") == 0) {
            const std::uint32_t mdatSize = wordAt(bytes, mdat);
            // "wide" exists to be overwritten by a 64-bit mdat header: payload offsets stay.
            return {bytes.substr(0, wide), bytes.substr(mdat + 8, mdatSize - 8),
                    bytes.substr(mdat + mdatSize), "ffmpeg"};
        }
    }
    const std::string hdlr = atom("hdlr", std::string(25, '\0'));
    const std::string keys = atom("keys", std::string(4, '\0') + be32(2) + be32(32) + "mdta" +
                                              "com.apple.quicktime.make" + be32(33) + "mdta" +
                                              "com.apple.quicktime.model");
    const std::string ilst =
        atom("ilst", atom(be32(1), atom("data", be32(1) + be32(0) + "Canon")) +
                         atom(be32(2), atom("data", be32(1) + be32(0) + "Canon EOS R5")));
    const std::string meta = atom("meta", std::string(4, '\0') + hdlr + keys + ilst);
    return {atom("ftyp", "qt  " + be32(0x200) + "qt  "), std::string(760, '\x11'),
            atom("moov", atom("mvhd", std::string(100, '\0')) + atom("udta", meta)),
            "byte-built (ffmpeg missing)"};
}

void writeAt(int fd, const std::string& bytes, std::uint64_t offset) {
    if (::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) !=
        static_cast<ssize_t>(bytes.size())) {
        std::perror("pwrite");
        std::exit(1);
    }
}

// A clip of `size` bytes: head, 64-bit mdat header, media, a hole, moov at the end.
void makeLargeClip(const fs::path& path, const SmallClip& clip, std::uint64_t size) {
    const std::uint64_t mdatSize = size - clip.head.size() - clip.tail.size();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror("open");
        std::exit(1);
    }
    writeAt(fd, clip.head + be32(1) + "mdat" + be64(mdatSize) + clip.media, 0);
    writeAt(fd, clip.tail, size - clip.tail.size());
    ::fsync(fd);
    ::close(fd);
}

struct IoCounters {
    std::uint64_t bytes = 0; // rchar: bytes asked of read-like system calls
    std::uint64_t calls = 0; // syscr
};

IoCounters ioCounters() {
    std::ifstream in("/proc/self/io");
    IoCounters counters;
    std::string key;
    std::uint64_t value = 0;
    while (in >> key >> value) {
        if (key == "rchar:") {
            counters.bytes = value;
        } else if (key == "syscr:") {
            counters.calls = value;
        }
    }
    return counters;
}

void dropFromCache(const std::vector<fs::path>& clips) {
    for (const fs::path& clip : clips) {
        const int fd = ::open(clip.c_str(), O_RDONLY | O_CLOEXEC);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

struct Result {
    double microsecondsMedian;
    double bytesPerRun;
    double readsPerRun;
};

template <typename Work>
Result measure(int runs, Work work, const std::vector<fs::path>* coldClips = nullptr) {
    std::vector<double> times;
    IoCounters total{};
    for (int i = 0; i < runs; ++i) {
        if (coldClips != nullptr) {
            dropFromCache(*coldClips);
        }
        const IoCounters before = ioCounters();
        const auto start = Clock::now();
        work();
        const auto elapsed = Clock::now() - start;
        const IoCounters after = ioCounters();
        // One read of /proc/self/io falls inside each window; count it out.
        total.bytes += after.bytes - before.bytes;
        total.calls += after.calls - before.calls;
        times.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], static_cast<double>(total.bytes) / runs,
            static_cast<double>(total.calls) / runs};
}

} // namespace

int main(int argc, char** argv) {
    const fs::path work =
        (argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path()) / "quaymark-camera-bench";
    fs::remove_all(work);
    fs::create_directories(work);
    const SmallClip clip = smallClip(work);
    std::printf("Clip source: %s; %d clips per card; moov after the media.\n", clip.origin,
                clipsPerCard);
    std::printf("%-10s %-34s %12s %14s %10s\n", "clip size", "work", "median", "bytes read",
                "read calls");

    // The /proc/self/io read of one measuring window: subtracted from the figures.
    const Result empty = measure(50, [] {});

    for (std::uint64_t size : {1 * MiB, 1 * GiB, 16 * GiB}) {
        std::vector<fs::path> card;
        for (int i = 0; i < clipsPerCard; ++i) {
            card.push_back(work / ("A00" + std::to_string(i + 1) + ".MOV"));
            makeLargeClip(card.back(), clip, size);
        }
        if (CameraMetadata::detect(card, {}) != "Canon EOS R5") {
            std::fprintf(stderr, "detection failed on the %llu-byte clips\n",
                         static_cast<unsigned long long>(size));
            return 1;
        }
        const auto detectCard = [&] { (void)CameraMetadata::detect(card, {}); };
        const auto readAllClips = [&] {
            for (const fs::path& file : card) {
                (void)QuickTimeCameraReader::detect(file);
            }
        };
        const std::string label =
            size >= GiB ? std::to_string(size / GiB) + " GiB" : std::to_string(size / MiB) + " MiB";
        const auto print = [&](const char* what, const Result& result) {
            std::printf("%-10s %-34s %9.1f us %14.0f %10.1f\n", label.c_str(), what,
                        result.microsecondsMedian, result.bytesPerRun - empty.bytesPerRun,
                        result.readsPerRun - empty.readsPerRun);
        };
        print("detect(card), warm", measure(2000, detectCard));
        print("reader on all 8 clips, warm", measure(500, readAllClips));
        print("reader on all 8 clips, cold cache", measure(20, readAllClips, &card));
        for (const fs::path& file : card) {
            fs::remove(file);
        }
    }
    fs::remove_all(work);
    return 0;
}
