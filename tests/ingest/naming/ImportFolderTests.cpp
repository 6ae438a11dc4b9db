#include "TestFiles.h"
#include "ingest/naming/ImportFolder.h"
#include "ingest/records/QuayError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

namespace quaymark {
namespace {

using test::TempDir;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::StrEq;
using testing::ThrowsMessage;

ImportOptions withRule(std::string rule) {
    return {std::move(rule), 2, false, std::string("CAM-1")};
}

std::filesystem::path makeSession(const std::filesystem::path& target, const std::string& rule) {
    return ImportEngine::makeSession(target, "CARD", withRule(rule), Timestamp{});
}

TEST(ImportFolder, NumbersRepeatedNamesUntilTheNameSpaceIsExhausted) {
    TempDir dir;
    const auto first = makeSession(dir.path(), "{source}/{camera}");
    EXPECT_EQ(first, dir / "CARD/CAM-1");
    EXPECT_TRUE(std::filesystem::is_directory(first));
    EXPECT_EQ(makeSession(dir.path(), "{source}/{camera}"), dir / "CARD/CAM-1_002");
    // A file holding the next name counts as taken too.
    test::writeFile(dir / "CARD/CAM-1_003", "");
    EXPECT_EQ(makeSession(dir.path(), "{source}/{camera}"), dir / "CARD/CAM-1_004");

    for (int n = 5; n <= 999; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "CAM-1_%03d", n);
        std::filesystem::create_directory(dir / "CARD" / name);
    }
    EXPECT_EQ(makeSession(dir.path(), "{source}/{camera}"), dir / "CARD/CAM-1_1000");
    EXPECT_THAT([&] { makeSession(dir.path(), "{source}/{camera}"); },
                ThrowsMessage<QuayError>(
                    StrEq("Too many imports with the same name. Add {time} to the rule.")));
}

TEST(ImportFolder, IntermediateFoldersMustStayInsideTheDestination) {
    TempDir dir;
    const auto target = dir / "dest";
    std::filesystem::create_directories(target / "real");
    std::filesystem::create_directories(dir / "outside");
    std::filesystem::create_directory_symlink(dir / "outside", target / "CARD");
    std::filesystem::create_directory_symlink(target / "real", target / "alias");

    EXPECT_THAT([&] { makeSession(target, "{source}/{camera}"); },
                ThrowsMessage<QuayError>(StrEq("A folder points outside the destination.")));
    EXPECT_THAT(test::listTree(dir / "outside"), IsEmpty());

    // A link that stays inside is allowed, and the folder comes back without links in its path.
    EXPECT_EQ(makeSession(target, "alias/{camera}"), target / "real/CAM-1");
}

TEST(ImportFolder, RefusedRulesAndFailedCreationsLeaveNothingBehind) {
    TempDir dir;
    EXPECT_THAT([&] { makeSession(dir.path(), "{source}/../{camera}"); },
                ThrowsMessage<QuayError>(testing::StartsWith("Use a relative folder rule")));
    EXPECT_THAT(test::listTree(dir.path()), IsEmpty());

    try {
        makeSession(dir / "unplugged", "{camera}");
        ADD_FAILURE() << "a folder was made in a missing destination";
    } catch (const QuayError& error) {
        EXPECT_EQ(error.kind(), QuayError::Kind::io);
        EXPECT_EQ(error.operation(), "Create import folder");
        EXPECT_EQ(error.payload(), (dir / "unplugged/CAM-1").string());
        EXPECT_EQ(error.code(), ENOENT);
    }
}

} // namespace
} // namespace quaymark
