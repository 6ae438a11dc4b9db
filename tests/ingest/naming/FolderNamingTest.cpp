// SPDX-License-Identifier: GPL-3.0-or-later
#include "ingest/naming/FolderNaming.h"

#include "TestFiles.h"
#include "ingest/naming/ImportFolder.h"
#include "ingest/records/QuayError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace quaymark {
namespace {

using namespace std::chrono;
using test::TempDir;
using testing::IsEmpty;
using testing::StrEq;
using testing::ThrowsMessage;

auto throwsMessage(const std::string& message) {
    return ThrowsMessage<QuayError>(StrEq(message));
}

const std::string ruleRefused = "Use a relative folder rule with {date}, {time}, {source}, {year}, "
                                "{month}, {day}, or {camera}. Avoid hidden folders, empty names "
                                "and '..'.";

std::vector<std::string> expand(const std::string& rule, const std::optional<std::string>& camera,
                                const std::string& source = "CARD") {
    // 2025-03-01 09:30:05.9 nine hours ahead of UTC.
    const auto start = sys_days{2025y / March / 1} + 30min + 5s + 900ms;
    return FolderNaming::components(rule, source, start, camera);
}

std::filesystem::path makeSession(const std::filesystem::path& target, const std::string& rule) {
    return ImportEngine::makeSession(target, "CARD", {rule, 2, false, "CAM-1"}, Timestamp{});
}

// Nine hours ahead of UTC without daylight saving, so that a date printed in UTC instead of
// local time shows. Nothing else in these tests depends on the zone.
[[maybe_unused]] const bool inFixedZone = (::setenv("TZ", "JST-9", 1), ::tzset(), true);

TEST(FolderNaming, ExpandsTokensInLocalTimeAndKeepsNamesInOneFolder) {
    struct Case {
        std::string rule;
        std::vector<std::string> pieces;
        std::optional<std::string> camera = "CAM-1";
        std::string source = "CARD";
    };
    const std::vector<Case> cases{
        {"{date}/{camera}_{time}", {"2025-03-01", "CAM-1_093005"}},
        {"{year}/{month}/{day}/{source} {date}", {"2025", "03", "01", "CARD 2025-03-01"}},
        {"{camera}", {"A_B_ C"}, "A/B: C"},
        {"{source}", {"x_y_z"}, "CAM", "x/y:z"},
        {"{camera}", {"Unknown Camera"}, std::nullopt},
        {"{camera}", {"Unknown Camera"}, " \n\t"},
        {"{camera}", {"CARD-A"}, "{source}-A"}, // the camera goes in first
        {"1/2/3/4/5/6/7/8", {"1", "2", "3", "4", "5", "6", "7", "8"}},
        {std::string(200, 'a'), {std::string(200, 'a')}},
    };
    for (const auto& [rule, pieces, camera, source] : cases) {
        EXPECT_EQ(expand(rule, camera, source), pieces) << rule;
    }
}

TEST(FolderNaming, RefusesRulesThatEscapeHideOrLoseFolders) {
    std::string accented = "a"; // 101 characters in 201 bytes
    for (int i = 0; i < 100; ++i) {
        accented += "\xC3\xA9";
    }
    const std::string nul("a\0b", 3), ascii201(201, 'a');
    // Blank includes an ideographic space.
    const std::vector<std::string> refused{
        "/{date}", "{date}/",           "{date}//{time}", "",
        " \t",     "\xE3\x80\x80",      "{date}/../x",    ".",
        ".hidden", "{date}/.{time}",    "{Date}",         "a:b",
        nul,       "1/2/3/4/5/6/7/8/9", ascii201,         accented};
    for (const auto& rule : refused) {
        EXPECT_THAT([&] { expand(rule, "CAM-1"); }, throwsMessage(ruleRefused)) << rule;
    }
    // A brace that a camera or source name brings in is refused like a misspelt token.
    EXPECT_THAT([] { expand("{date}_{source}", "CAM", "CARD{1}"); }, throwsMessage(ruleRefused));
    EXPECT_THAT([] { expand("{camera}", "{date}"); }, throwsMessage(ruleRefused));
}

TEST(FolderNaming, NumbersRepeatedNamesUntilTheNameSpaceIsExhausted) {
    TempDir dir;
    EXPECT_EQ(makeSession(dir.path(), "{source}/{camera}"), dir / "CARD/CAM-1");
    EXPECT_EQ(makeSession(dir.path(), "{source}/{camera}"), dir / "CARD/CAM-1_002");
    // A file holding the next name counts as taken too.
    test::writeFile(dir / "CARD/CAM-1_003", "");
    EXPECT_EQ(makeSession(dir.path(), "{source}/{camera}"), dir / "CARD/CAM-1_004");
    for (int n = 5; n <= 999; ++n) {
        std::filesystem::create_directory(dir / "CARD" /
                                          ("CAM-1_" + std::to_string(1000 + n).substr(1)));
    }
    EXPECT_EQ(makeSession(dir.path(), "{source}/{camera}"), dir / "CARD/CAM-1_1000");
    EXPECT_THAT([&] { makeSession(dir.path(), "{source}/{camera}"); },
                throwsMessage("Too many imports with the same name. Add {time} to the rule."));
}

TEST(FolderNaming, MakesFoldersOnlyInsideTheDestination) {
    TempDir dir;
    const auto target = dir / "dest";
    std::filesystem::create_directories(target / "real");
    std::filesystem::create_directories(dir / "outside");
    std::filesystem::create_directory_symlink(dir / "outside", target / "CARD");
    std::filesystem::create_directory_symlink(target / "real", target / "alias");

    EXPECT_THAT([&] { makeSession(target, "{source}/{camera}"); },
                throwsMessage("A folder points outside the destination."));
    EXPECT_THAT(test::listTree(dir / "outside"), IsEmpty());
    // A link that stays inside is allowed, and the folder comes back without links in its path.
    EXPECT_EQ(makeSession(target, "alias/{camera}"), target / "real/CAM-1");

    const auto unplugged = dir / "unplugged/CAM-1";
    EXPECT_THAT([&] { makeSession(dir / "unplugged", "{camera}"); },
                throwsMessage("Create import folder failed for " + unplugged.string() + ": " +
                              systemErrorText(ENOENT) + " (2)."));
}

} // namespace
} // namespace quaymark
