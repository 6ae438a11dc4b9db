// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadFixture.h"
#include "app/shell/QuitGuard.h"

namespace quaymark {
namespace {

class QuitGuardDownloadsTest : public test::DownloadFixture {};

TEST_F(QuitGuardDownloadsTest, RunningDownloadsKeepTheGuardUp) {
    installTools();
    auto downloads = makeModel();
    addProject(*downloads, picker, QStringLiteral("Harbour"), home / "videos");
    paste(*downloads, {QStringLiteral("https://videos.example/watch/plain")});
    QuitGuard guard;
    guard.attach(nullptr, downloads.get());
    EXPECT_FALSE(guard.workRunning());
    downloads->queue()->downloadAll();
    ASSERT_TRUE(downloads->queue()->busy());
    EXPECT_TRUE(guard.workRunning()) << "no import model is needed for downloads to count";
    ASSERT_TRUE(waitUntil([&] { return !downloads->queue()->busy(); }));
    EXPECT_FALSE(guard.workRunning());
    downloads.reset();
    EXPECT_FALSE(guard.workRunning());
}

} // namespace
} // namespace quaymark
