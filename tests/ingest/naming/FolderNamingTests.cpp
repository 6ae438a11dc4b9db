#include "ingest/naming/FolderNaming.h"
#include "ingest/records/QuayError.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace quaymark {
namespace {

using namespace std::chrono;
using testing::ElementsAre;
using testing::StrEq;
using testing::ThrowsMessage;

constexpr auto ruleRefused = "Use a relative folder rule with {date}, {time}, {source}, {year}, "
                             "{month}, {day}, or {camera}. Avoid hidden folders, empty names "
                             "and '..'.";

// Runs a test in a fixed time zone nine hours ahead of UTC (no daylight saving), so that a
// date printed in UTC instead of local time shows.
class FolderNamingTest : public testing::Test {
protected:
    void SetUp() override {
        if (const char* zone = std::getenv("TZ")) {
            savedZone_ = zone;
        }
        ::setenv("TZ", "JST-9", 1);
        ::tzset();
    }
    void TearDown() override {
        if (savedZone_) {
            ::setenv("TZ", savedZone_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

    // 2025-03-01 09:30:05 local time.
    static Timestamp importStart() {
        return sys_days{year{2025} / March / 1} + hours{0} + minutes{30} + seconds{5} +
               milliseconds{900};
    }

    static std::vector<std::string> expand(const std::string& rule,
                                           const std::optional<std::string>& camera = "CAM-1",
                                           const std::string& source = "CARD") {
        return FolderNaming::components(rule, source, importStart(), camera);
    }

private:
    std::optional<std::string> savedZone_;
};

TEST_F(FolderNamingTest, ExpandsEveryTokenInLocalTime) {
    EXPECT_THAT(expand("{date}/{camera}_{time}"), ElementsAre("2025-03-01", "CAM-1_093005"));
    EXPECT_THAT(expand("{year}/{month}/{day}/{source} {date}"),
                ElementsAre("2025", "03", "01", "CARD 2025-03-01"));
    EXPECT_THAT(expand("{time}{time}"), ElementsAre("093005093005"));
}

TEST_F(FolderNamingTest, CameraAndSourceTextsCannotSplitFolders) {
    EXPECT_THAT(expand("{camera}", "A/B: C"), ElementsAre("A_B_ C"));
    EXPECT_THAT(expand("{source}", "CAM", "x/y:z"), ElementsAre("x_y_z"));
    for (const auto& blank : {std::optional<std::string>{}, std::optional<std::string>{""},
                              std::optional<std::string>{" \n\t"}}) {
        EXPECT_THAT(expand("{camera}", blank), ElementsAre("Unknown Camera"));
    }
    EXPECT_THAT(expand("{camera}", " CAM "), ElementsAre(" CAM ")); // used untrimmed
    // The camera is expanded first, so a source token inside it is expanded too, while a date
    // token inside it is not.
    EXPECT_THAT(expand("{camera}", "{source}-A"), ElementsAre("CARD-A"));
    EXPECT_THAT([] { expand("{camera}", "{date}"); }, ThrowsMessage<QuayError>(StrEq(ruleRefused)));
}

TEST_F(FolderNamingTest, RefusesRulesThatEscapeHideOrLoseFolders) {
    std::string accented200; // 100 characters, 200 bytes
    for (int i = 0; i < 100; ++i) {
        accented200 += "\xC3\xA9";
    }
    const std::vector<std::string> refused{
        "/{date}",
        "{date}/",
        "{date}//{time}",
        "",
        " \t",
        "\xE3\x80\x80", // an ideographic space is blank too
        "..",
        "{date}/../x",
        ".",
        ".hidden",
        "{date}/.{time}",
        "{Date}",
        "{date}/{unknown}",
        "a:b",
        std::string("a\0b", 3),
        "1/2/3/4/5/6/7/8/9",
        std::string(201, 'a'),
        accented200 + "a",
    };
    for (const auto& rule : refused) {
        EXPECT_THAT([&] { expand(rule); }, ThrowsMessage<QuayError>(StrEq(ruleRefused))) << rule;
    }
    EXPECT_THAT([] { expand("{date}_{source}", "CAM", "CARD{1}"); },
                ThrowsMessage<QuayError>(StrEq(ruleRefused)));

    EXPECT_EQ(expand("1/2/3/4/5/6/7/8").size(), 8U);
    EXPECT_THAT(expand(std::string(200, 'a')), ElementsAre(std::string(200, 'a')));
    EXPECT_THAT(expand(accented200), ElementsAre(accented200));
}

} // namespace
} // namespace quaymark
