// SPDX-License-Identifier: GPL-3.0-or-later
#include "../../fuzz/CameraReaderHarness.h"
#include "CameraTestSupport.h"
#include "TestFiles.h"
#include "ingest/camera/QuickTimeCameraReader.h"
#include "ingest/copy/UniqueFd.h"
#include "ingest/records/QuayError.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace quaymark::test {
namespace {

namespace Reader = QuickTimeCameraReader;

const std::string canon = "Canon EOS R5";
const std::string canonMeta = makeModelMeta("Canon", canon);

class QuickTimeReaderTest : public ::testing::Test {
protected:
    std::filesystem::path write(std::string_view bytes) {
        const std::filesystem::path file = dir_ / ("clip" + std::to_string(++count_) + ".mov");
        writeFile(file, bytes);
        return file;
    }

    using Cases = std::vector<std::pair<std::string, std::optional<std::string>>>;
    // Each case's bytes as a file, or as the meta atom of a file with `wrap`.
    void expectNames(const Cases& cases, std::string (*wrap)(std::string_view) = nullptr) {
        for (std::size_t i = 0; i < cases.size(); ++i) {
            SCOPED_TRACE("case " + std::to_string(i));
            const std::string& bytes = cases[i].first;
            EXPECT_EQ(Reader::detect(write(wrap ? wrap(bytes) : bytes)), cases[i].second);
        }
    }

    // The reader's message for these bytes read as `size` bytes, or "" when it does not fail.
    std::string failureOf(std::string_view bytes, std::optional<std::uint64_t> size = {}) {
        const UniqueFd fd(::open(write(bytes).c_str(), O_RDONLY | O_CLOEXEC));
        try {
            (void)Reader::detect(fd.get(), size.value_or(bytes.size()));
        } catch (const QuayError& error) {
            EXPECT_EQ(error.kind(), QuayError::Kind::unavailable);
            return error.what();
        }
        return {};
    }

    TempDir dir_;
    int count_ = 0;
};

// Sizes and counts from the file bound every walk; past a limit the listing ends quietly.
TEST_F(QuickTimeReaderTest, AtomSizesAndCountsStayWithinTheirLimits) {
    const std::string udta = atom("udta", canonMeta);
    const std::string moov = atom("moov", udta);
    const std::string extended = ftyp() + be32(1) + "moov";
    std::string frees; // 4095 empty atoms
    for (int i = 0; i < 4095; ++i) {
        frees += atom("free", "");
    }
    expectNames({
        {ftyp() + be32(0) + "moov" + udta, canon},
        {extended + be64(0) + udta, canon},
        // Below 16, the listing stops rather than going on 12 bytes further to a moov.
        {extended + be64(12) + std::string(8, 'x') + moov, {}},
        {extended + be64(17 + udta.size()) + udta, {}},
        // At most 4096 atoms are listed per level.
        {ftyp() + atom("moov", frees + udta), canon},
        {ftyp() + atom("moov", frees + atom("free", "") + udta), {}},
    });

    const auto manyKeys = [](std::uint32_t count) {
        std::vector<std::string> keys(count, "com.example.other");
        keys[count - 2] = "com.apple.quicktime.make";
        keys[count - 1] = "com.apple.quicktime.model";
        return metaAtom(keys, itemAtom(count - 1, "Canon") + itemAtom(count, canon));
    };
    const std::string entries = be32(32) + "mdta" + "com.apple.quicktime.make" + be32(33) + "mdta" +
                                "com.apple.quicktime.model";
    const auto meta = [](const std::string& keysPayload, const std::string& list) {
        return metaAtomWithKeys(fullAtom("keys", keysPayload), list);
    };
    const std::string items = itemAtom(1, "Canon") + itemAtom(2, canon);
    expectNames(
        {{manyKeys(4096), canon},
         {manyKeys(4097), {}},
         {meta(be32(1) + entries, items), {}},
         {meta(be32(3) + be32(1025) + "mdta" + std::string(1017, 'k') + entries, items), {}},
         {meta(be32(3) + be32(1024) + "mdta" + std::string(1016, 'k') + entries,
               itemAtom(3, canon)),
          canon}},
        clipWithUdtaMeta);
}

TEST_F(QuickTimeReaderTest, FailedReadsCarryTheirMessage) {
    // An extended size announced at the end of the file, whole or cut off.
    EXPECT_EQ(failureOf(ftyp() + be32(1) + "moov"), "Cannot read camera metadata");
    EXPECT_EQ(failureOf(ftyp() + be32(1) + "moov" + "1234"), "Cannot read camera metadata");
    // A clip that shrank after it was measured.
    const std::string clip = clipWithUdtaMeta(canonMeta);
    EXPECT_EQ(failureOf(clip.substr(0, clip.size() - 20), clip.size()),
              "Cannot read camera metadata");
    // A 64-bit size moving the next header past the largest file offset (a size no real file has).
    EXPECT_EQ(failureOf(be32(1) + "free" + be64(1ull << 63) + std::string(16, '\0'), ~0ull),
              "Invalid metadata extent");
}

TEST_F(QuickTimeReaderTest, NonClipsYieldNothingNeverBlockAndLeaveNoFileOpen) {
    const auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto before = openFiles();
    for (const char* bytes : {"", "1234567", "12345678"}) {
        EXPECT_EQ(Reader::detect(write(bytes)), std::nullopt) << bytes;
    }
    const std::filesystem::path target = write(clipWithUdtaMeta(canonMeta));
    std::filesystem::create_symlink(target, dir_ / "link.mov");
    std::filesystem::create_directory(dir_ / "folder.mov");
    ASSERT_EQ(::mkfifo((dir_ / "pipe.mov").c_str(), 0600), 0); // without a writer
    for (const char* name : {"link.mov", "folder.mov", "pipe.mov", "missing.mov"}) {
        EXPECT_EQ(Reader::detect(dir_ / name), std::nullopt) << name;
    }
    // Only the last component may not be a link.
    std::filesystem::create_directory_symlink(dir_.path(), dir_ / "folder-link");
    EXPECT_EQ(Reader::detect(dir_ / "folder-link" / target.filename()), canon);
    EXPECT_THROW((void)Reader::detect(write(ftyp() + be32(1) + "moov")), QuayError);
    EXPECT_EQ(openFiles(), before);
}

struct ReadCounter final : Reader::ReadObserver {
    void willRead(std::uint64_t, std::size_t count) override {
        ++reads;
        bytes += count;
        largest = std::max(largest, count);
    }
    std::size_t reads = 0;
    std::size_t bytes = 0;
    std::size_t largest = 0;
};

TEST_F(QuickTimeReaderTest, ReadsOnlyHeadersAndSmallValues) {
    // The clip's atoms follow a 1 GiB (sparse) media atom, of which only the header is read.
    const std::uint64_t mediaSize = 1ull << 30;
    const std::string clip = clipWithUdtaMeta(canonMeta);
    const std::filesystem::path file = write(be32(1) + "mdat" + be64(mediaSize));
    std::filesystem::resize_file(file, mediaSize);
    std::ofstream(file, std::ios::binary | std::ios::app) << clip;
    const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    ReadCounter counter;
    EXPECT_EQ(Reader::detect(fd.get(), mediaSize + clip.size(), &counter), canon);
    EXPECT_LE(counter.bytes, 1024u);
    EXPECT_LE(counter.largest, 64u);
    EXPECT_LE(counter.reads, 40u);
}

// Fuzzing seeds and every input kept from fuzzing, through the fuzz target's limit checks.
TEST(FuzzInputsTest, KeptInputsStayWithinTheLimits) {
    std::size_t replayed = 0;
    for (const char* folder : {"seeds", "regressions"}) {
        std::error_code error;
        const std::filesystem::path root = std::filesystem::path(QUAYMARK_FUZZ_INPUTS) / folder;
        for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
            const UniqueFd fd(::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC));
            ASSERT_TRUE(fd) << entry.path();
            EXPECT_NO_THROW((void)fuzz::runReader(fd.get(), entry.file_size())) << entry.path();
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0u) << "no seeds in " << QUAYMARK_FUZZ_INPUTS;
}

} // namespace
} // namespace quaymark::test
