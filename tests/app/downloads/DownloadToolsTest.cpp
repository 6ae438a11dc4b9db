// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/downloads/DownloadTools.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quaymark {
namespace {

namespace fs = std::filesystem;

void install(const fs::path& file, bool executable = true) {
    test::writeFile(file, "#!/bin/sh\n");
    fs::permissions(file, executable ? fs::perms::owner_all : fs::perms::owner_read);
}

TEST(DownloadToolsTest, FirstExecutableCandidateWins) {
    test::TempDir root;
    const fs::path tools = root / "tools", local = root / "local", system = root / "system";
    const DownloadTools lookup({tools, local, system});

    install(tools / "yt-dlp");
    install(local / "yt-dlp");
    install(tools / "deno", false);
    install(local / "deno");
    fs::create_directories(tools / "ffmpeg");
    fs::create_directories(local / "ffmpeg");
    install(system / "ffmpeg");

    EXPECT_EQ(lookup.tool("yt-dlp"), tools / "yt-dlp");
    EXPECT_EQ(lookup.tool("deno"), local / "deno");
    EXPECT_EQ(lookup.tool("ffmpeg"), system / "ffmpeg");
    EXPECT_EQ(lookup.tool("ffprobe"), std::nullopt);
    EXPECT_FALSE(lookup.ready());

    install(local / "ffprobe", false);
    EXPECT_FALSE(lookup.ready());
    install(system / "ffprobe");
    EXPECT_TRUE(lookup.ready());
}

// Where the installer puts the tools is where the application looks first.
TEST(DownloadToolsTest, StandardLookupFindsInstalledTools) {
    install(DownloadTools::toolsFolder() / "deno");
    EXPECT_EQ(DownloadTools::standard().tool("deno"), DownloadTools::toolsFolder() / "deno");
    fs::remove_all(DownloadTools::toolsFolder());
}

} // namespace
} // namespace quaymark
