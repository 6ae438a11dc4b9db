// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/ClipFacts.h"

#include "ChildProcess.h"
#include "TestFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

namespace quaymark::report {
namespace {

namespace fs = std::filesystem;

// A clip made by ffmpeg from its test pattern and a tone.
fs::path makeClip(const fs::path& file, const std::string& rate, const std::string& seconds,
                  std::vector<std::string> codec) {
    std::vector<std::string> command = {"/usr/bin/ffmpeg",
                                        "-nostdin",
                                        "-loglevel",
                                        "error",
                                        "-f",
                                        "lavfi",
                                        "-i",
                                        "testsrc=size=320x240:rate=" + rate,
                                        "-f",
                                        "lavfi",
                                        "-i",
                                        "sine=sample_rate=48000",
                                        "-t",
                                        seconds};
    command.insert(command.end(), codec.begin(), codec.end());
    command.push_back(file.string());
    const auto made = test::runProcess(command);
    EXPECT_EQ(made.status, 0) << made.errors;
    return file;
}

TEST(ClipFacts, TimecodeDurationRateAndSizeFromEachContainer) {
    if (!fs::exists("/usr/bin/ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    test::TempDir work;
    const auto mov = readClipFacts(
        makeClip(work / "A001.MOV", "25", "2",
                 {"-c:v", "libx264", "-c:a", "pcm_s16le", "-timecode", "01:02:03:04"}));
    ASSERT_TRUE(mov);
    EXPECT_EQ(mov->timecodeIn, "01:02:03:04");
    EXPECT_EQ(mov->timecodeOut, "01:02:05:04");
    EXPECT_NEAR(mov->seconds.value_or(0), 2.0, 0.05);
    EXPECT_EQ(std::tuple(mov->width, mov->height, mov->codec, mov->frameRateText()),
              std::tuple(320, 240, std::string("h264"), std::string("25")));
    EXPECT_FALSE(mov->profile.empty());
    EXPECT_EQ(std::pair(mov->audioChannels, mov->sampleRate), std::pair(1, 48000));

    // Drop-frame: ";" before the frames, and 29.97 as editors write it.
    const auto drop =
        readClipFacts(makeClip(work / "B001.MOV", "30000/1001", "2",
                               {"-c:v", "libx264", "-an", "-timecode", "00:59:59;28"}));
    ASSERT_TRUE(drop);
    EXPECT_EQ(drop->frameRateText(), "29.97");
    EXPECT_EQ(drop->timecodeIn, "00:59:59;28");
    EXPECT_EQ(drop->timecodeOut, "01:00:01;28") << "frames 00 and 01 of minute 60 are dropped";
    EXPECT_EQ(drop->audioChannels, 0);

    const auto mxf = readClipFacts(makeClip(
        work / "C001.MXF", "25", "1",
        {"-c:v", "mpeg2video", "-c:a", "pcm_s16le", "-timecode", "10:00:00:00", "-f", "mxf"}));
    ASSERT_TRUE(mxf);
    EXPECT_EQ(mxf->codec, "mpeg2video");
    EXPECT_EQ(mxf->timecodeIn, "10:00:00:00");
    EXPECT_EQ(mxf->timecodeOut, "10:00:01:00");

    const auto plain =
        readClipFacts(makeClip(work / "D001.MP4", "24000/1001", "1", {"-c:v", "libx264", "-an"}));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->timecodeIn, std::nullopt);
    EXPECT_EQ(plain->timecodeOut, std::nullopt);
    EXPECT_EQ(plain->frameRateText(), "23.976");

    // Damage, a link and a FIFO are no clips; nothing waits on the FIFO.
    test::writeFile(work / "E001.MOV", test::patternBytes(100'000));
    EXPECT_FALSE(readClipFacts(work / "E001.MOV"));
    fs::create_symlink(work / "A001.MOV", work / "link.MOV");
    EXPECT_FALSE(readClipFacts(work / "link.MOV"));
    ASSERT_EQ(::mkfifo((work / "F001.MOV").c_str(), 0600), 0);
    EXPECT_FALSE(readClipFacts(work / "F001.MOV"));
}

} // namespace
} // namespace quaymark::report
