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

// The installed tools come before the system's (Debian's yt-dlp is too old for the app).
TEST(DownloadToolsTest, FirstExecutableCandidateWins) {
    test::TempDir root;
    const fs::path tools = root / "tools", local = root / "local", system = root / "system";
    const DownloadTools lookup({tools, local, system});
    install(tools / "yt-dlp");
    install(local / "yt-dlp");
    install(tools / "deno", false);
    install(local / "deno");
    fs::create_directories(tools / "ffmpeg");
    install(system / "ffmpeg");
    EXPECT_EQ(lookup.tool("yt-dlp"), tools / "yt-dlp");
    EXPECT_EQ(lookup.tool("deno"), local / "deno") << "not executable";
    EXPECT_EQ(lookup.tool("ffmpeg"), system / "ffmpeg") << "a folder";
    EXPECT_FALSE(lookup.ready()) << "no ffprobe";
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
