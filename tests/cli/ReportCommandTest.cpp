// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"
#include "TestFiles.h"
#include "ingest/records/ImportRecords.h"
#include "ingest/records/IsoDate.h"
#include "ingest/records/RecordsJson.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace quaymark::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

ProcessResult ingest(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), QUAYMARK_INGEST);
    return runProcess(arguments);
}

// The report of an import: one exact CSV row per file, names quoted as RFC 4180 says, and a
// folder that verify still accepts. Several folders make one report with --out.
TEST(ReportCommand, WritesOneExactRowPerFileAndVerifyIgnoresIt) {
    if (!fs::exists("/usr/bin/ffmpeg")) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    TempDir work;
    fs::create_directories(work / "CARD");
    ASSERT_EQ(runProcess({"/usr/bin/ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                          "testsrc=size=320x240:rate=25", "-t", "1", "-c:v", "libx264", "-timecode",
                          "01:02:03:04", (work / "CARD/A001.MOV").string()})
                  .status,
              0);
    writeFile(work / "CARD/notes, \"day 1\".txt", "wrap");
    fs::create_directories(work / "A");
    // A preview helper that crashes costs the preview, never the import or its report.
    writeFile(work / "crash.sh", "#!/bin/sh\nkill -SEGV $$\n");
    fs::permissions(work / "crash.sh", fs::perms::owner_all);
    const auto imported = runProcess(
        {"/usr/bin/env", "QUAYMARK_THUMBNAILER=" + (work / "crash.sh").string(), QUAYMARK_INGEST,
         "import", (work / "CARD").string(), "--to", (work / "A").string(), "--all-files",
         "--camera", "FX3", "--json", "--catalog", (work / "catalog.sqlite3").string()});
    ASSERT_EQ(imported.status, 0) << imported.output;
    const fs::path folder = json::parse(imported.output.substr(imported.output.rfind("{\"")))
                                .at("importFolder")
                                .get<std::string>();

    EXPECT_TRUE(fs::exists(folder / ImportDocuments::reportCsv)) << "written with the import";
    EXPECT_NE(readFile(folder / ImportDocuments::reportHtml)
                  .find("No preview: the clip could not be decoded"),
              std::string::npos);
    fs::create_directories(work / "B");
    const auto unreported =
        ingest({"import", (work / "CARD").string(), "--to", (work / "B").string(), "--no-report",
                "--catalog", (work / "catalog.sqlite3").string()});
    ASSERT_EQ(unreported.status, 0);
    const auto unreportedFiles = listTree(work / "B");
    EXPECT_TRUE(std::none_of(unreportedFiles.begin(), unreportedFiles.end(),
                             [](const std::string& name) { return name.ends_with("REPORT.csv"); }));

    const auto reported = ingest({"report", folder.string()});
    ASSERT_EQ(reported.status, 0) << reported.errors;
    EXPECT_EQ(reported.output,
              "Report     " + (folder / "_QUAYMARK_REPORT.pdf").string() + " (2 files, 1 clips)\n");
    const ImportReceipt receipt = decodeReceipt(readFile(folder / ImportDocuments::receipt));
    ASSERT_EQ(receipt.files.size(), 2u);
    const std::string verified = formatIsoDate(receipt.finished);
    const std::string csv = readFile(folder / ImportDocuments::reportCsv);
    const std::string header = "path,size,sha256,xxh128,camera,timecode_in,timecode_out,duration,"
                               "codec,resolution,frame_rate,audio,verified\r\n";
    ASSERT_TRUE(csv.starts_with(header)) << csv;
    const auto& clip = receipt.files[0];
    const auto& notes = receipt.files[1];
    EXPECT_NE(csv.find("\r\nA001.MOV," + std::to_string(clip.bytes) + "," + clip.sha256 + ","),
              std::string::npos);
    EXPECT_NE(csv.find(",FX3,01:02:03:04,01:02:04:04,1.000,h264 "), std::string::npos) << csv;
    EXPECT_NE(csv.find(",320x240,25,," + verified + "\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\r\n\"notes, \"\"day 1\"\".txt\",4," + notes.sha256 + ","),
              std::string::npos)
        << csv;
    EXPECT_TRUE(csv.ends_with(",FX3,,,,,,,," + verified + "\r\n")) << csv;
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);

    const auto verify =
        ingest({"verify", folder.string(), "--catalog", (work / "catalog.sqlite3").string()});
    EXPECT_EQ(verify.status, 0) << verify.output;

    const auto day =
        ingest({"report", folder.string(), folder.string(), "--out", (work / "day.csv").string()});
    ASSERT_EQ(day.status, 0) << day.errors;
    const std::string merged = readFile(work / "day.csv");
    EXPECT_EQ(merged, csv + csv.substr(header.size())) << "one header, every folder's rows";
    EXPECT_NE(readFile(work / "day.html").find("<h1>Day report</h1>"), std::string::npos);
    EXPECT_TRUE(fs::exists(work / "day.pdf"));
    EXPECT_EQ(ingest({"report", (work / "CARD").string()}).status, 1) << "no receipt, no report";
}

} // namespace
} // namespace quaymark::test
