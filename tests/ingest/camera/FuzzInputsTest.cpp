// Replays the fuzzing seeds and every input kept from fuzzing (tests/fuzz/regressions) through
// the same limit checks as the fuzz target.
#include "../../fuzz/CameraReaderHarness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace quaymark::test {
namespace {

std::vector<std::filesystem::path> inputs() {
    std::vector<std::filesystem::path> files;
    for (const char* folder : {"seeds", "regressions"}) {
        const std::filesystem::path root = std::filesystem::path(QUAYMARK_FUZZ_INPUTS) / folder;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FuzzInputsTest, KeptInputsStayWithinTheLimits) {
    const std::vector<std::filesystem::path> files = inputs();
    ASSERT_FALSE(files.empty()) << "no seeds in " << QUAYMARK_FUZZ_INPUTS;
    for (const std::filesystem::path& file : files) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0) << file;
        const off_t size = ::lseek(fd, 0, SEEK_END);
        EXPECT_NO_THROW((void)fuzz::runReader(fd, static_cast<std::uint64_t>(size))) << file;
        ::close(fd);
    }
}

} // namespace
} // namespace quaymark::test
