// SPDX-License-Identifier: GPL-3.0-or-later
// Copies and verifies one large file with the engine, then does the same work with plain tools
// (cp, then OpenSSL's SHA-256 of both files), and prints the throughput of each.
//   copy_verify_bench [size in MiB, default 2048] [work folder, default the temporary folder]

#include "ingest/copy/FileCopy.h"
#include "ingest/copy/ReadSession.h"
#include "ingest/records/CancellationFlag.h"
#include "ingest/records/Sha256.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace quaymark;

namespace {

constexpr size_t MiB = 1024 * 1024;

void makeSource(const fs::path& path, size_t mebibytes) {
    std::vector<char> block(64 * MiB);
    std::mt19937_64 generator{42};
    for (auto& byte : block) {
        byte = static_cast<char>(generator());
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (size_t done = 0; done < mebibytes;) {
        const size_t chunk = std::min<size_t>(64, mebibytes - done);
        block[0] = static_cast<char>(done); // no two blocks alike
        if (::write(fd, block.data(), chunk * MiB) != static_cast<ssize_t>(chunk * MiB)) {
            std::perror("write");
            std::exit(1);
        }
        done += chunk;
    }
    ::fsync(fd);
    ::close(fd);
}

// Drops the file from the page cache so that both runs read it from storage.
void dropFromCache(const fs::path& path) {
    ::sync();
    const int fd = ::open(path.c_str(), O_RDONLY);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const size_t mebibytes = argc > 1 ? std::stoul(argv[1]) : 2048;
    const fs::path base = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
    const fs::path work = base / ("quaymark-bench-" + std::to_string(::getpid()));
    fs::create_directories(work / "source");
    fs::create_directories(work / "engine");
    fs::create_directories(work / "plain");
    const fs::path source = work / "source" / "A001C001.MOV";
    std::printf("Making a %zu MiB source in %s\n", mebibytes, work.c_str());
    makeSource(source, mebibytes);
    const double megabytes = static_cast<double>(mebibytes * MiB) / 1e6;

    struct stat info {};
    ::stat(source.c_str(), &info);
    const SourceFile file{source, "A001C001.MOV", "A001C001.MOV", info.st_size,
                          Timestamp{std::chrono::seconds{info.st_mtim.tv_sec} +
                                    std::chrono::duration_cast<Timestamp::duration>(
                                        std::chrono::nanoseconds{info.st_mtim.tv_nsec})}};
    CancellationFlag cancellation;
    CancellationFlag localCancel;
    const auto sourceGuard = VolumeGuard::make(work / "source");
    const auto targetGuard = VolumeGuard::make(work / "engine");
    ProgressTracker tracker{ImportProgress{ImportPhase::copying, info.st_size, 0, 0, 1, 0, {}, {}},
                            nullptr};

    dropFromCache(source);
    auto start = std::chrono::steady_clock::now();
    const ImportEngine::CopyContext context{work / "engine", cancellation, localCancel,
                                            sourceGuard,     targetGuard,  tracker};
    const FileReceipt receipt = ImportEngine::copy(file, ".quaymark-bench.partial", context);
    const double engineSeconds = seconds(start);

    dropFromCache(source);
    start = std::chrono::steady_clock::now();
    const std::string plain = "cp '" + source.string() + "' '" + (work / "plain").string() +
                              "/' && sync && openssl dgst -sha256 '" + source.string() + "' '" +
                              (work / "plain" / "A001C001.MOV").string() + "' > /dev/null";
    const int status = std::system(plain.c_str());
    const double plainSeconds = seconds(start);

    fs::remove_all(work);
    if (status != 0) {
        std::fprintf(stderr, "the plain tools failed\n");
        return 1;
    }
    std::printf("sha256 %s\n", receipt.sha256.c_str());
    std::printf("engine copy + verify:           %8.1f MB/s (%.2f s)\n", megabytes / engineSeconds,
                engineSeconds);
    std::printf("cp + openssl sha256 of both:    %8.1f MB/s (%.2f s)\n", megabytes / plainSeconds,
                plainSeconds);
    std::printf("ratio engine / plain:           %8.2f\n", plainSeconds / engineSeconds);
    return 0;
}
