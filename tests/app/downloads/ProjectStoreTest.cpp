// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/downloads/ProjectStore.h"

#include "QtPrinting.h"
#include "TestFiles.h"

#include <QDir>

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <regex>

namespace quaymark {
namespace {

namespace fs = std::filesystem;

class ProjectStoreTest : public ::testing::Test {
protected:
    test::TempDir data;
    ProjectStore store{QString::fromStdString(data.path().string())};
    fs::path file = data / "download-projects.json";

    static VideoLink link(LinkState state) {
        VideoLink made;
        made.url = u"https://example.com/" + QString::number(static_cast<int>(state));
        made.state = state;
        made.fraction = 0.5;
        made.speed = 1e6;
        return made;
    }
};

TEST_F(ProjectStoreTest, SavedProjectsComeBackWithActiveLinksPaused) {
    VideoProject project;
    project.name = QStringLiteral("Trip");
    project.destination = SavedLocation{QStringLiteral("/srv/videos"), QByteArray("\x01\xFE", 2)};
    project.directoryName = QStringLiteral("Trip_0A1B2C3D");
    for (const LinkState state :
         {LinkState::Ready, LinkState::Queued, LinkState::Downloading, LinkState::Merging,
          LinkState::Downloaded, LinkState::Paused, LinkState::Failed, LinkState::Converting}) {
        project.links.append(link(state));
    }
    project.links[4].output = QStringLiteral("/srv/videos/Trip/a.mp4");
    project.links[4].intermediate = QStringLiteral("/srv/videos/Trip/a (ProRes 422 HQ).mov");
    project.links[4].videoId = QStringLiteral("a");
    project.links[6].error = QStringLiteral("ERROR: 404");
    project.options = {DownloadPreset::Editor2160, QStringLiteral("en.*,de"), true, false, true,
                       SponsorSegments::Mark};
    project.collections = {{QStringLiteral("https://y.example/@harbour"),
                            QStringLiteral("Harbour"),
                            {QStringLiteral("a"), QStringLiteral("b")}}};
    ASSERT_FALSE(store.save({project, VideoProject{}}));

    const std::string text = test::readFile(file);
    EXPECT_EQ(text.find("null"), std::string::npos) << "absent optionals are left out";
    std::size_t from = 0;
    for (const char* word :
         {"Ready", "Queued", "Downloading", "Merging", "Downloaded", "Paused", "Failed"}) {
        from = text.find("\"state\":\"" + std::string(word) + '"', from);
        EXPECT_NE(from, std::string::npos) << "stored as " << word << ", in link order";
    }

    const auto loaded = store.load();
    ASSERT_EQ(loaded.projects.size(), 2);
    for (const int active : {1, 2, 3, 7}) {
        project.links[active].state = LinkState::Paused;
        project.links[active].speed = 0;
    }
    EXPECT_EQ(loaded.projects[0], project);
}

// A word this version does not know, say from a newer one: shown and written back as it is.
TEST_F(ProjectStoreTest, AnUnknownStateWordIsKeptAsWritten) {
    const std::string stored =
        R"([{"id":"0A1B2C3D-0000-4000-8000-000000000001","name":"x","links":[)"
        R"({"id":"0A1B2C3D-0000-4000-8000-000000000002","url":"u","title":"t",)"
        R"("state":"Rendering","fraction":0.5,"speed":7.0}]}])";
    test::writeFile(file, stored);
    const auto loaded = store.load();
    ASSERT_FALSE(loaded.message) << loaded.message->toStdString();
    ASSERT_EQ(loaded.projects.size(), 1);
    const VideoLink& link = loaded.projects[0].links.at(0);
    EXPECT_EQ(link.state, LinkState::Unknown);
    EXPECT_EQ(stateText(link), u"Rendering");
    EXPECT_EQ(link.speed, 7.0) << "not an active state, so not paused";
    ASSERT_FALSE(store.save(loaded.projects));
    EXPECT_EQ(test::readFile(file), stored);
}

TEST_F(ProjectStoreTest, UnreadableFileIsCopiedAsideAndNamed) {
    const std::string broken =
        R"([{"id":"0A1B2C3D-0000-4000-8000-000000000001","name":"x","links":[)"
        R"({"id":"0A1B2C3D-0000-4000-8000-000000000002","url":"u","title":"t",)"
        R"("state":"Ready","speed":0}]}])";
    EXPECT_FALSE(store.load().message) << "no file yet is no problem";
    test::writeFile(file, broken);
    const auto loaded = store.load();
    EXPECT_TRUE(loaded.projects.isEmpty());
    ASSERT_TRUE(loaded.message);
    const QString prefix =
        QStringLiteral("Saved projects could not be read. A recovery copy was preserved at ");
    ASSERT_TRUE(loaded.message->startsWith(prefix)) << loaded.message->toStdString();
    ASSERT_TRUE(loaded.message->endsWith(u".json."));
    const QString copy = loaded.message->mid(prefix.size()).chopped(1);
    EXPECT_TRUE(QFileInfo(copy).fileName().startsWith(u"download-projects-unreadable-"));
    EXPECT_EQ(test::readFile(copy.toStdString()), broken);
    EXPECT_EQ(test::readFile(file), broken) << "the file itself is left as it was";
}

// A full disk: the recovery copy cannot be made, so the first save must not write over the only
// copy of the user's projects.
TEST_F(ProjectStoreTest, AFileThatCannotBeCopiedIsKeptAsideBeforeTheFirstSave) {
    const fs::path disk = data / "disk";
    fs::create_directories(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "mounting is refused here: " << std::strerror(errno);
    }
    struct Unmount {
        fs::path point;
        ~Unmount() { ::umount2(point.c_str(), MNT_DETACH); }
    } unmount{disk};
    const std::string unreadable = "[{\"id\": not json";
    test::writeFile(disk / "download-projects.json", unreadable);
    {
        std::ofstream filler(disk / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), block.size())) {
        }
    }
    ProjectStore full{QString::fromStdString(disk.string())};
    const auto loaded = full.load();
    EXPECT_EQ(loaded.message, u"Saved projects could not be read or backed up. Existing data has "
                              u"not been modified.");

    fs::remove(disk / "filler");
    for (int save = 0; save < 2; ++save) {
        ASSERT_EQ(full.save({VideoProject{}}), std::nullopt);
    }
    const auto names = test::listTree(disk);
    ASSERT_EQ(names.size(), 2u) << "kept once, before the first save only";
    EXPECT_TRUE(std::regex_match(names[1],
                                 std::regex(R"(download-projects\.unreadable-\d{8}-\d{6}\.json)")))
        << names[1];
    EXPECT_EQ(test::readFile(disk / names[1]), unreadable);
    EXPECT_EQ(full.load().projects.size(), 1);
}

TEST_F(ProjectStoreTest, FailedSavesSaySo) {
    fs::create_directories(data / "blocked");
    ProjectStore unwritable{QString::fromStdString((data / "blocked/x").string())};
    test::writeFile(data / "blocked/x", "a file where the folder should be");
    const auto failure = unwritable.save({VideoProject{}});
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->startsWith(u"Could not save download projects: "));
}

} // namespace
} // namespace quaymark
