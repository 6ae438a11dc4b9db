// SPDX-License-Identifier: GPL-3.0-or-later
// The real quaymark binary, started twice over one temporary home on the offscreen platform.

#include "ChildProcess.h"
#include "TestFiles.h"

#include <QTest>

#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <sstream>

namespace quaymark {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(QuaymarkSmokeTest, StartsAndASecondStartActivatesTheFirstAndEnds) {
    test::TempDir home;
    fs::create_directories(home / "runtime");
    fs::permissions(home / "runtime", fs::perms::owner_all);
    const std::vector<std::string> environment = {
        "/usr/bin/env",
        "HOME=" + home.path().string(),
        "XDG_DATA_HOME=" + (home / "data").string(),
        "XDG_CONFIG_HOME=" + (home / "config").string(),
        "XDG_CACHE_HOME=" + (home / "cache").string(),
        "XDG_RUNTIME_DIR=" + (home / "runtime").string(),
        "QT_QPA_PLATFORM=offscreen",
        "/usr/bin/timeout",
        "120",
        QUAYMARK_BINARY,
    };
    const fs::path data = home / "data/Brindleway Quaymark";
    const fs::path log = data / "diagnostics.log";

    test::ChildProcess first(environment);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return fs::exists(data / "instance.socket") &&
                   contents(log).find("Launch version 1.1") != std::string::npos;
        },
        60'000))
        << first.errors();

    const auto second = test::runProcess(environment);
    EXPECT_EQ(second.status, 0) << second.errors;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return contents(log).find("Activation requested by a second start") !=
                   std::string::npos;
        },
        30'000))
        << contents(log);
    const std::string launches = contents(log);
    size_t count = 0;
    for (size_t at = launches.find("Launch version"); at != std::string::npos;
         at = launches.find("Launch version", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 1U) << "the second start loaded nothing";

    first.signal(SIGTERM);
    first.wait();
    EXPECT_TRUE(fs::exists(home / "config/Brindleway/Quaymark.conf"))
        << "preferences were saved in the temporary home";
}

} // namespace
} // namespace quaymark
