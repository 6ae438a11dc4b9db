// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFiles.h"
#include "ingest/copy/DurableWrite.h"
#include "ingest/records/QuayError.h"

#include <gtest/gtest.h>

namespace quaymark {
namespace {

// Replaced whole or not at all, named in the error, no temporary left either way.
TEST(DurableWrite, ReplacesWholeOrKeepsThePreviousContent) {
    test::TempDir folder;
    const auto target = folder / "_QUAYMARK_INCOMPLETE.txt";
    durableWrite("first\n", target);
    durableWrite("second, longer\n", target);
    EXPECT_EQ(test::readFile(target), "second, longer\n");

    // A folder with content cannot be replaced by a file.
    const auto journal = folder / "_QUAYMARK_SESSION.json";
    test::writeFile(journal / "old", "previous");
    try {
        durableWrite("{}", journal);
        FAIL() << "replacing a folder must fail";
    } catch (const QuayError& error) {
        EXPECT_EQ(error.operation(), "Commit status record");
        EXPECT_EQ(error.payload(), journal.string());
    }
    EXPECT_EQ(test::listTree(folder.path()),
              (std::vector<std::string>{"_QUAYMARK_INCOMPLETE.txt", "_QUAYMARK_SESSION.json",
                                        "_QUAYMARK_SESSION.json/old"}));
}

} // namespace
} // namespace quaymark
