#include "TestFiles.h"
#include "ingest/records/QuayError.h"
#include "ingest/scan/LocationCheck.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quaymark {
namespace {

using test::TempDir;
using testing::StrEq;
using testing::ThrowsMessage;

constexpr auto separateFolders =
    "Choose separate source and destination folders. Neither can contain the other.";

void validate(const std::filesystem::path& source, const std::filesystem::path& target) {
    ImportEngine::validateLocations(source, target);
}

TEST(LocationCheck, RefusesTheSameFolderOrOneInsideTheOther) {
    TempDir dir;
    std::filesystem::create_directories(dir / "x/CARD/Backup");
    std::filesystem::create_directories(dir / "x/CARD2");
    std::filesystem::create_directory_symlink(dir / "x/CARD", dir / "alias");
    const auto card = dir / "x/CARD";

    const std::vector<std::pair<std::filesystem::path, std::filesystem::path>> refused{
        {card, card},
        {card, card / "Backup"},
        {card / "Backup", card},
        {card.string() + "/", card},
        {dir / "alias", card / "Backup"}, // the same folder through a link
        {card, dir / "alias/Backup"},
        {"/", card},
        {card, "/"},
    };
    for (const auto& [source, target] : refused) {
        EXPECT_THAT([&] { validate(source, target); },
                    ThrowsMessage<QuayError>(StrEq(separateFolders)))
            << source << " -> " << target;
    }
    // A name that merely starts like the other is a different folder.
    EXPECT_NO_THROW(validate(card, dir / "x/CARD2"));
    EXPECT_NO_THROW(validate(dir / "x/CARD2", card));
}

TEST(LocationCheck, NamesTheMissingFolderSourceFirst) {
    TempDir dir;
    std::filesystem::create_directories(dir / "card");
    test::writeFile(dir / "file", "not a folder");
    const auto unavailable = [](const std::filesystem::path& path) {
        return ThrowsMessage<QuayError>(StrEq("Folder unavailable: " + path.string() +
                                              ". Connect the drive or mount the network share "
                                              "first."));
    };

    EXPECT_THAT([&] { validate(dir / "gone", dir / "also-gone"); }, unavailable(dir / "gone"));
    EXPECT_THAT([&] { validate(dir / "card", dir / "gone/"); }, unavailable(dir / "gone"));
    EXPECT_THAT([&] { validate(dir / "card", dir / "file"); }, unavailable(dir / "file"));
    EXPECT_THAT([&] { validate(dir / "card/../file", dir / "card"); }, unavailable(dir / "file"));
}

} // namespace
} // namespace quaymark
