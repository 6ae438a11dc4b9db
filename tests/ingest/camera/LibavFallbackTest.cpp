#include "CameraTestSupport.h"
#include "TestFiles.h"
#include "ingest/camera/CameraMetadata.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace quaymark::test {
namespace {

using namespace std::chrono_literals;

class LibavFallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!findFfmpeg()) {
            GTEST_SKIP() << "ffmpeg is not installed (Debian package ffmpeg); clips cannot be made";
        }
    }

    std::optional<std::vector<MetadataItem>> load(const std::filesystem::path& file) {
        const std::shared_ptr<MetadataAsset> asset = framework_->open(file);
        if (!asset) {
            return std::nullopt;
        }
        return asset->loadMetadata();
    }

    static std::optional<std::string> valueOf(const std::vector<MetadataItem>& items,
                                              std::string_view identifier) {
        for (const MetadataItem& item : items) {
            if (item.identifier == identifier) {
                return item.stringValue;
            }
        }
        return std::nullopt;
    }

    TempDir dir_;
    std::shared_ptr<MetadataFramework> framework_ = libavMetadataFramework();
};

TEST_F(LibavFallbackTest, ReadsClassicMakeAndModel) {
    const std::filesystem::path file = dir_ / "classic.mov";
    ASSERT_TRUE(makeClip(file, {"-metadata", "make=SONY", "-metadata", "model=ILCE-7SM3"}));
    const auto items = load(file);
    ASSERT_TRUE(items);
    EXPECT_EQ(valueOf(*items, "make"), "SONY");
    EXPECT_EQ(valueOf(*items, "model"), "ILCE-7SM3");
    // The QuickTime reader cannot name it; detection does, through libavformat.
    EXPECT_EQ(CameraMetadata::detect({file}, {}), "SONY ILCE-7SM3");
}

TEST_F(LibavFallbackTest, ReadsQuickTimeKeys) {
    const std::filesystem::path file = dir_ / "keys.MOV";
    ASSERT_TRUE(makeClip(file, {"-movflags", "use_metadata_tags", "-metadata",
                                "com.apple.quicktime.make=Canon", "-metadata",
                                "com.apple.quicktime.model=Canon EOS R5"}));
    const auto items = load(file);
    ASSERT_TRUE(items);
    EXPECT_EQ(valueOf(*items, "com.apple.quicktime.make"), "Canon");
    EXPECT_EQ(valueOf(*items, "com.apple.quicktime.model"), "Canon EOS R5");
}

TEST_F(LibavFallbackTest, AClipWithoutCameraMetadataGivesNoName) {
    const std::filesystem::path file = dir_ / "plain.mp4";
    ASSERT_TRUE(makeClip(file, {}));
    const auto items = load(file);
    ASSERT_TRUE(items);
    EXPECT_EQ(valueOf(*items, "model"), std::nullopt);
    EXPECT_EQ(CameraMetadata::detect({file}, {}), std::nullopt);
}

TEST_F(LibavFallbackTest, CancelledLoadingLoadsNothing) {
    const std::filesystem::path file = dir_ / "classic.mov";
    ASSERT_TRUE(makeClip(file, {"-metadata", "make=SONY", "-metadata", "model=ILCE-7SM3"}));
    const std::shared_ptr<MetadataAsset> asset = framework_->open(file);
    ASSERT_TRUE(asset);
    asset->cancelLoading();
    EXPECT_EQ(asset->loadMetadata(), std::nullopt);
}

TEST_F(LibavFallbackTest, UnreadableFilesLoadNothing) {
    EXPECT_EQ(load(dir_ / "missing.mov"), std::nullopt);
    writeFile(dir_ / "garbage.mov", patternBytes(4096));
    EXPECT_EQ(load(dir_ / "garbage.mov"), std::nullopt);
    std::filesystem::create_directory(dir_ / "folder.mov");
    EXPECT_EQ(load(dir_ / "folder.mov"), std::nullopt);
}

TEST_F(LibavFallbackTest, OnlyTheQuickTimeDemuxerAndLocalFilesAreUsed) {
    // A playlist named like a clip must not make libavformat read other files or URLs.
    const std::filesystem::path secret = dir_ / "secret.mov";
    ASSERT_TRUE(makeClip(secret, {"-metadata", "make=SONY", "-metadata", "model=ILCE-7SM3"}));
    writeFile(dir_ / "playlist.mov", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" +
                                         secret.string() + "\n#EXT-X-ENDLIST\n");
    EXPECT_EQ(load(dir_ / "playlist.mov"), std::nullopt);
    writeFile(dir_ / "concat.mov", "ffconcat version 1.0\nfile '" + secret.string() + "'\n");
    EXPECT_EQ(load(dir_ / "concat.mov"), std::nullopt);
}

TEST_F(LibavFallbackTest, AFifoNeitherBlocksTheReadersNorDetection) {
    // A FIFO without a writer blocks any open for reading: the stand-in for a dead device.
    const std::filesystem::path fifo = dir_ / "pipe.mov";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CameraMetadata::detect({fifo}, {}), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

} // namespace
} // namespace quaymark::test
