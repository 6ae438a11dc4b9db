// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"
#include "TestFiles.h"
#include "ingest/records/ImportRecords.h"
#include "ingest/records/RecordsJson.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

namespace quaymark::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class CatalogCommand : public ::testing::Test {
protected:
    TempDir work;
    fs::path catalog = work / "data/catalog.sqlite3";

    ProcessResult ingest(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), QUAYMARK_INGEST);
        arguments.insert(arguments.end(), {"--catalog", catalog.string()});
        return runProcess(arguments);
    }
    ProcessResult import(const std::string& to, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments = {
            "import", (work / "CARD").string(), "--to", (work / to).string(), "--camera", "FX3"};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return ingest(arguments);
    }
    std::vector<std::string> receiptOf(const std::string& output) {
        const json result = json::parse(output.substr(output.rfind("{\"")));
        std::vector<std::string> paths;
        const auto receipt = decodeReceipt(readFile(
            fs::path(result.at("importFolder").get<std::string>()) / ImportDocuments::receipt));
        for (const auto& file : receipt.files) {
            paths.push_back(*file.sourcePath);
        }
        return paths;
    }
};

std::string noticeOf(const std::string& output, const std::string& kind) {
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (const json event = json::parse(line);
            event.at("event") == "notice" && event.at("kind") == kind) {
            return event.at("message");
        }
    }
    return {};
}

TEST_F(CatalogCommand, RemembersACardAcrossImportsAndComesBackFromAScan) {
    writeFile(work / "CARD/DCIM/C0001.MP4", patternBytes(3000, 1));
    writeFile(work / "CARD/DCIM/C0002.MP4", patternBytes(4000, 2));
    fs::create_directories(work / "A");
    fs::create_directories(work / "B");
    ASSERT_EQ(ingest({"import", (work / "CARD").string(), "--to", (work / "A").string(), "--to",
                      (work / "B").string()})
                  .status,
              0);
    // Two folders on one disk are one drive.
    auto card = ingest({"catalog", "card", (work / "CARD").string()});
    EXPECT_EQ(card.status, 1);
    EXPECT_EQ(card.output, "2 verified copies on 1 drive: one more drive needed\n");
    EXPECT_EQ(ingest({"catalog", "card", (work / "CARD").string(), "--copies", "1"}).status, 0);

    const auto skipped = import("A", {"--skip-imported"});
    EXPECT_EQ(skipped.status, 0);
    EXPECT_EQ(skipped.output, "Nothing to import.\n");
    EXPECT_TRUE(std::regex_match(skipped.errors,
                                 std::regex("Already imported on \\w{3} \\d+ \\w{3} \\d\\d:\\d\\d "
                                            "to A and B \\(verified\\)\\.\n")))
        << skipped.errors;

    // New clips alone, into a folder whose receipt lists only them.
    writeFile(work / "CARD/DCIM/C0003.MP4", patternBytes(500, 3));
    const auto added = import("B", {"--skip-imported", "--json"});
    ASSERT_EQ(added.status, 0) << added.output;
    EXPECT_TRUE(std::regex_match(noticeOf(added.output, "newFiles"),
                                 std::regex("1 new clip since the import of \\d\\d:\\d\\d\\.")));
    EXPECT_EQ(receiptOf(added.output), std::vector<std::string>{"DCIM/C0003.MP4"});
    EXPECT_EQ(ingest({"catalog", "card", (work / "CARD").string()}).output,
              "1 verified copy: one more drive needed\n")
        << "the new clip has one copy";

    // Without --skip-imported a script gets its copy, with the notice.
    const auto again = import("A", {"--json"});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(noticeOf(again.output, "alreadyImported"), "");
    EXPECT_EQ(receiptOf(again.output).size(), 3u);

    // A path imported before, now another file: a warning, and the whole card is imported.
    const fs::path first = work / "CARD/DCIM/C0001.MP4";
    const struct timespec times[2] = {{1'600'000'000, 0}, {1'600'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, first.c_str(), times, 0), 0);
    const auto reused = import("B", {"--skip-imported", "--json"});
    EXPECT_EQ(reused.status, 0);
    EXPECT_TRUE(std::regex_match(noticeOf(reused.output, "reused"),
                                 std::regex("C0001\\.MP4 differs from the C0001\\.MP4 imported on "
                                            "\\w{3} \\d+ \\w{3}: this card was probably formatted "
                                            "and reused\\.")))
        << reused.output;
    EXPECT_EQ(receiptOf(reused.output).size(), 3u);

    // A deleted catalog comes back from the drives, with the same answers.
    const std::string before = ingest({"catalog", "where", "DCIM/C0003.MP4"}).output;
    const std::vector<std::string> cardArguments = {"catalog", "card", (work / "CARD").string(),
                                                    "--copies", "1"};
    const std::string cardBefore = ingest(cardArguments).output;
    EXPECT_EQ(cardBefore, "Safe to format: 1 verified copy on 1 drive\n")
        << "only the last import holds the card as it is now";
    fs::remove_all(work / "data");
    const auto scanned = ingest({"catalog", "scan", (work / "A").string(), (work / "B").string()});
    EXPECT_EQ(scanned.status, 0);
    EXPECT_NE(
        scanned.output.find("Recorded   2 verified import folders below " + (work / "A").string()),
        std::string::npos)
        << scanned.output;
    EXPECT_EQ(ingest({"catalog", "where", "DCIM/C0003.MP4"}).output, before);
    EXPECT_EQ(ingest(cardArguments).output, cardBefore);
}

TEST_F(CatalogCommand, AFailedVerifyTakesTheCopyOutOfTheCountAndTheLookupReadsNoClip) {
    writeFile(work / "CARD/C0001.MP4", patternBytes(3000, 1));
    fs::create_directories(work / "A");
    // A catalog that cannot be opened is a notice; the import is verified all the same.
    fs::create_directories(catalog);
    const auto unrecorded = import("A");
    EXPECT_EQ(unrecorded.status, 0);
    EXPECT_NE(unrecorded.errors.find("Catalog: cannot be opened: "), std::string::npos);
    fs::remove(catalog);
    const auto imported = import("A", {"--json"});
    ASSERT_EQ(imported.status, 0);
    const json result = json::parse(imported.output.substr(imported.output.rfind("{\"")));
    const fs::path folder = result.at("importFolder").get<std::string>();
    EXPECT_EQ(ingest({"catalog", "card", (work / "CARD").string(), "--copies", "1"}).status, 0);

    writeFile(folder / "C0001.MP4", patternBytes(3000, 9));
    EXPECT_EQ(ingest({"verify", folder.string()}).status, 1);
    const auto where = ingest({"catalog", "where", (work / "CARD/C0001.MP4").string(), "--json"});
    EXPECT_EQ(json::parse(where.output).at("copies").at(0).at("checkFailed"),
              "The files no longer match the receipt.");
    const auto card = ingest({"catalog", "card", (work / "CARD").string(), "--copies", "1"});
    EXPECT_EQ(card.status, 1);
    EXPECT_EQ(card.output, "Not imported\n");

    // The card is looked up from its listing alone: no clip is opened.
    const auto traced =
        runProcess({"/usr/bin/env", "ASAN_OPTIONS=detect_leaks=0", "/usr/bin/strace", "-f", "-qq",
                    "-e", "trace=open,openat", QUAYMARK_INGEST, "catalog", "card",
                    (work / "CARD").string(), "--catalog", catalog.string()});
    ASSERT_NE(traced.errors.find("CARD"), std::string::npos) << traced.errors;
    std::istringstream lines(traced.errors);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("/CARD") != std::string::npos) {
            EXPECT_NE(line.find("O_DIRECTORY"), std::string::npos) << line;
        }
    }
}

} // namespace
} // namespace quaymark::test
