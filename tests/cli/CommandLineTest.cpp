// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandLine.h"

#include <gtest/gtest.h>

namespace quaymark::cli {
namespace {

TEST(CommandLine, RefusesWhatCannotRun) {
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"copy", "/card"},
        {"import", "/card"},
        {"import", "--to", "/a"},
        {"import", "/card", "/other", "--to", "/a"},
        {"import", "/card", "--to"},
        {"import", "/card", "--to", "/a", "--parallel", "0"},
        {"import", "/card", "--to", "/a", "--parallel", "5"},
        {"import", "/card", "--to", "/a", "--parallel", "2x"},
        {"import", "/card", "--to", "/a", "--verbose"},
        {"resume", "/a/import"},
        {"resume", "/a/import", "--source", "/card", "--camera", "X"},
        {"verify"},
        {"verify", "/a/import", "--to", "/b"},
        {"verify", "/a/import", "--no-mhl"},
        {"camera"},
        {"verify", ""},
        {"import", "", "--to", "/a"},
        {"import", "/card", "--to", "/a", "--to", ""},
        {"resume", "", "--source", "/card"},
        {"camera", "/a", ""},
    };
    for (const auto& arguments : refused) {
        EXPECT_THROW(parseCommandLine(arguments), UsageError)
            << ::testing::PrintToString(arguments);
    }
    EXPECT_EQ(parseCommandLine({"import", "--help"}).kind, CommandKind::help);
}

} // namespace
} // namespace quaymark::cli
