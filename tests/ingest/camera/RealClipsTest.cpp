// SPDX-License-Identifier: GPL-3.0-or-later
// Clips written by a real muxer (ffmpeg), read by the QuickTime reader, by the libavformat
// fallback and by detection through both.
#include "ChildProcess.h"
#include "TestFiles.h"
#include "ingest/camera/CameraMetadata.h"
#include "ingest/camera/QuickTimeCameraReader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <tuple>

namespace quaymark::test {
namespace {

// A 0.1 s black clip made by ffmpeg (found on PATH) with these arguments before the output.
bool makeClip(const std::filesystem::path& output, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"/usr/bin/env", "ffmpeg", "-nostdin", "-v", "error", "-y",
                                         "-f", "lavfi", "-i", "color=c=black:s=64x64:d=0.1"});
    arguments.push_back(output.string());
    return runProcess(arguments).status == 0;
}

class RealClipsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (runProcess({"/usr/bin/env", "ffmpeg", "-version"}).status != 0) {
            GTEST_SKIP() << "ffmpeg is not installed (Debian package ffmpeg); clips cannot be made";
        }
    }

    std::optional<std::vector<MetadataItem>> load(const std::string& name) {
        const std::shared_ptr<MetadataAsset> asset = libav_->open(dir_ / name);
        return asset ? asset->loadMetadata() : std::nullopt;
    }

    TempDir dir_;
    std::shared_ptr<MetadataFramework> libav_ = libavMetadataFramework();
};

TEST_F(RealClipsTest, KeysAreReadByBothReadersAndClassicTagsByTheFallback) {
    // File, camera name, whether the QuickTime reader finds it (keys/ilst metadata; classic udta
    // strings are left to the fallback), and the tags written.
    using Clip =
        std::tuple<std::string, std::optional<std::string>, bool, std::vector<std::string>>;
    const std::vector<Clip> clips = {
        {"keys.mov",
         "Canon EOS R5",
         true,
         {"com.apple.quicktime.make=Canon", "com.apple.quicktime.model=Canon EOS R5"}},
        {"keys.mp4",
         "Apple iPhone 15 Pro",
         true,
         {"com.apple.quicktime.make=Apple", "com.apple.quicktime.model=iPhone 15 Pro"}},
        {"classic.mov", "SONY ILCE-7SM3", false, {"make=SONY", "model=ILCE-7SM3"}},
        {"plain.mp4", std::nullopt, false, {}},
    };
    for (const auto& [file, name, byReader, tags] : clips) {
        SCOPED_TRACE(file);
        std::vector<std::string> arguments;
        if (byReader) {
            arguments = {"-movflags", "use_metadata_tags"};
        }
        for (const std::string& tag : tags) {
            arguments.insert(arguments.end(), {"-metadata", tag});
        }
        ASSERT_TRUE(makeClip(dir_ / file, arguments));
        EXPECT_EQ(QuickTimeCameraReader::detect(dir_ / file), byReader ? name : std::nullopt);
        const auto items = load(file);
        ASSERT_TRUE(items);
        for (const std::string& tag : tags) {
            EXPECT_TRUE(std::ranges::any_of(*items, [&](const MetadataItem& item) {
                return item.identifier + "=" + item.stringValue.value_or("") == tag;
            })) << tag;
        }
        EXPECT_EQ(CameraMetadata::detect({dir_ / file}, {}), name);
    }
}

TEST_F(RealClipsTest, TheFallbackReadsOnlyLocalQuickTimeFilesAndStopsWhenCancelled) {
    // Playlists named like clips must not make libavformat read other files or URLs.
    const std::string secret = (dir_ / "secret.mov").string();
    ASSERT_TRUE(makeClip(secret, {"-metadata", "make=SONY", "-metadata", "model=ILCE-7SM3"}));
    writeFile(dir_ / "playlist.mov",
              "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\n" + secret + "\n#EXT-X-ENDLIST\n");
    writeFile(dir_ / "concat.mov", "ffconcat version 1.0\nfile '" + secret + "'\n");
    writeFile(dir_ / "garbage.mov", patternBytes(4096));
    std::filesystem::create_directory(dir_ / "folder.mov");
    // A FIFO without a writer blocks any open for reading: the stand-in for a dead device.
    ASSERT_EQ(::mkfifo((dir_ / "pipe.mov").c_str(), 0600), 0);
    for (const char* name :
         {"playlist.mov", "concat.mov", "garbage.mov", "folder.mov", "pipe.mov", "missing.mov"}) {
        EXPECT_EQ(load(name), std::nullopt) << name;
    }
    const std::shared_ptr<MetadataAsset> cancelled = libav_->open(secret);
    ASSERT_TRUE(cancelled);
    cancelled->cancelLoading();
    EXPECT_EQ(cancelled->loadMetadata(), std::nullopt);
}

} // namespace
} // namespace quaymark::test
