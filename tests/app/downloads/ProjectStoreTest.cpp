#include "app/downloads/ProjectStore.h"

#include "QtPrinting.h"
#include "TestFiles.h"

#include <QDir>

#include <gtest/gtest.h>

namespace quaymark {
namespace {

namespace fs = std::filesystem;

class ProjectStoreTest : public ::testing::Test {
protected:
    test::TempDir data;
    ProjectStore store{QString::fromStdString(data.path().string())};
    fs::path file = data / "download-projects.json";

    static VideoLink link(const QString& state) {
        VideoLink made;
        made.url = QStringLiteral("https://example.com/") + state;
        made.state = state;
        made.fraction = 0.5;
        made.speed = 1e6;
        return made;
    }
};

TEST_F(ProjectStoreTest, NoFileOrAnEmptyListLoadsEmptyWithoutAMessage) {
    EXPECT_TRUE(store.load().projects.isEmpty());
    EXPECT_FALSE(store.load().message);
    test::writeFile(file, "[]");
    EXPECT_TRUE(store.load().projects.isEmpty());
    EXPECT_FALSE(store.load().message);
}

TEST_F(ProjectStoreTest, SavedProjectsComeBackWithActiveLinksPaused) {
    VideoProject project;
    project.name = QStringLiteral("Trip");
    project.destination = SavedLocation{QStringLiteral("/srv/videos"), QByteArray("\x01\xFE", 2)};
    project.directoryName = QStringLiteral("Trip_0A1B2C3D");
    for (const QString& state :
         {LinkState::ready, LinkState::queued, LinkState::downloading, LinkState::merging,
          LinkState::downloaded, LinkState::paused, LinkState::failed}) {
        project.links.append(link(state));
    }
    project.links[4].output = QStringLiteral("/srv/videos/Trip/a.mp4");
    project.links[6].error = QStringLiteral("ERROR: 404");
    ASSERT_FALSE(store.save({project, VideoProject{}}));

    const std::string text = test::readFile(file);
    EXPECT_LT(text.find("\"id\""), text.find("\"url\"")) << "declaration order";
    EXPECT_LT(text.find("\"state\""), text.find("\"fraction\""));
    EXPECT_EQ(text.find("null"), std::string::npos) << "absent optionals are left out";

    const auto loaded = store.load();
    ASSERT_EQ(loaded.projects.size(), 2);
    const QList<VideoLink>& links = loaded.projects[0].links;
    const QStringList expected = {LinkState::ready,  LinkState::paused,     LinkState::paused,
                                  LinkState::paused, LinkState::downloaded, LinkState::paused,
                                  LinkState::failed};
    for (qsizetype i = 0; i < links.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(links[i].state, expected[i]);
        EXPECT_EQ(links[i].speed, (i >= 1 && i <= 3) ? 0.0 : 1e6) << "only active links stop";
    }
    VideoProject reloaded = loaded.projects[0];
    reloaded.links = project.links;
    EXPECT_EQ(reloaded, project);
}

TEST_F(ProjectStoreTest, UnreadableFileIsCopiedAsideAndNamed) {
    const std::string broken =
        R"([{"id":"0A1B2C3D-0000-4000-8000-000000000001","name":"x","links":[)"
        R"({"id":"0A1B2C3D-0000-4000-8000-000000000002","url":"u","title":"t",)"
        R"("state":"Ready","speed":0}]}])";
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

TEST_F(ProjectStoreTest, FolderNamesAreDerivedOnceAndSurviveARename) {
    VideoProject project;
    project.id = QUuid::fromString(QStringLiteral("0a1b2c3d-0000-4000-8000-000000000001"));
    project.name = QStringLiteral("a/b:c");
    EXPECT_FALSE(project.folder());
    project.destination = SavedLocation{QStringLiteral("/srv/videos"), std::nullopt};
    EXPECT_EQ(project.folder(), QStringLiteral("/srv/videos/a_b_c_0A1B2C3D"));
    project.name = QStringLiteral(" \n ");
    EXPECT_EQ(project.folder(), QStringLiteral("/srv/videos/B-roll_0A1B2C3D"));
    project.directoryName = QStringLiteral("Trip_0A1B2C3D");
    project.name = QStringLiteral("Renamed");
    EXPECT_EQ(project.folder(), QStringLiteral("/srv/videos/Trip_0A1B2C3D"));

    fs::create_directories(data / "blocked");
    ProjectStore unwritable{QString::fromStdString((data / "blocked/x").string())};
    test::writeFile(data / "blocked/x", "a file where the folder should be");
    const auto failure = unwritable.save({project});
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->startsWith(u"Could not save download projects: "));
}

} // namespace
} // namespace quaymark
