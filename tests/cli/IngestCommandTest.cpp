// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChildProcess.h"
#include "ImportFixture.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/engine/DownloadsReceipt.h"
#include "ingest/records/RecordsJson.h"
#include "ingest/records/Sha256.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <future>
#include <nlohmann/json.hpp>
#include <ranges>
#include <set>

namespace quaymark::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::vector<std::string> ingest(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), QUAYMARK_INGEST);
    return arguments;
}

// The JSON events of one kind that a command printed, one a line.
std::vector<json> eventsOf(const std::string& output, const std::string& kind) {
    std::vector<json> chosen;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (json event = json::parse(line); event.at("event") == kind) {
            chosen.push_back(std::move(event));
        }
    }
    return chosen;
}

TEST(IngestCommand, ImportsToTwoDestinationsThenVerifyCatchesOneChangedByte) {
    TempDir work;
    writeFile(work / "CARD/DCIM/100/C0001.MP4", patternBytes(3 * 1024 * 1024, 1));
    writeFile(work / "CARD/DCIM/100/C0001.XML", "<sidecar/>");
    writeFile(work / "CARD/PRIVATE/C0002.MOV", patternBytes(1000, 2));
    fs::create_directories(work / "A");
    fs::create_directories(work / "B");
    // A benchmark's old switch in the environment leaves the second hash in place.
    auto command = ingest({"import", (work / "CARD").string(), "--to", (work / "A").string(),
                           "--to", (work / "B").string(), "--all-files", "--camera", "FX6",
                           "--rule", "{camera}/{source}", "--json"});
    command.insert(command.begin(), {"/usr/bin/env", "QUAYMARK_BENCH_WITHOUT_XXH128=1"});
    const auto imported = runProcess(command);
    ASSERT_EQ(imported.status, 0) << imported.output << imported.errors;
    std::vector<fs::path> folders;
    for (const auto& result : eventsOf(imported.output, "result")) {
        EXPECT_EQ(result.at("status"), "verified");
        folders.emplace_back(result.at("importFolder").get<std::string>());
    }
    ASSERT_EQ(folders, (std::vector<fs::path>{work / "A/FX6/CARD", work / "B/FX6/CARD"}));
    // One version, the project's, on the command and in the history others read.
    EXPECT_EQ(runProcess(ingest({"--version"})).output,
              "quaymark-ingest " QUAYMARK_PROJECT_VERSION "\n");
    std::string manifest;
    for (const auto& entry : fs::directory_iterator(folders[1] / "ascmhl")) {
        manifest += entry.path().extension() == ".mhl" ? readFile(entry.path()) : "";
    }
    EXPECT_NE(manifest.find("<tool version=\"" QUAYMARK_PROJECT_VERSION "\">Quaymark</tool>"),
              std::string::npos);
    const auto verified = runProcess(ingest({"verify", folders[1].string()}));
    EXPECT_EQ(verified.status, 0) << verified.output << verified.errors;
    EXPECT_NE(verified.output.find("All 3 files in " + folders[1].string() +
                                   " match the receipt and the ASC MHL history."),
              std::string::npos)
        << verified.output;

    // One flipped byte in the first copy; the receipt check's own tests name the other damage.
    std::string clip = readFile(folders[0] / "DCIM/100/C0001.MP4");
    clip[1'234'567] ^= 0x01;
    writeFile(folders[0] / "DCIM/100/C0001.MP4", clip);
    const std::string journalBefore = readFile(folders[0] / "_QUAYMARK_SESSION.json");
    const auto failed = runProcess(ingest({"verify", folders[0].string(), "--json"}));
    EXPECT_EQ(failed.status, 1);
    std::set<std::pair<std::string, std::string>> states;
    for (const auto& file : eventsOf(failed.output, "file")) {
        states.emplace(file.at("path"), file.at("status"));
    }
    EXPECT_EQ(states,
              (std::set<std::pair<std::string, std::string>>{{"DCIM/100/C0001.MP4", "changed"},
                                                             {"DCIM/100/C0001.MP4", "mhl-differs"},
                                                             {"DCIM/100/C0001.XML", "matches"},
                                                             {"PRIVATE/C0002.MOV", "matches"}}));
    EXPECT_EQ(readFile(folders[0] / "_QUAYMARK_SESSION.json"), journalBefore) << "writes nothing";
}

// Killed outright while many small files are in flight to two destinations: each resume ends
// in a clean verified import, every partial file of the killed run gone.
TEST(IngestCommand, HardStopAmidSmallFilesResumesCleanly) {
    TempDir work;
    for (int i = 0; i < 600; ++i) {
        writeFile(work /
                      ("CARD/DCIM/1" + std::to_string(i % 6) + "0/P" + std::to_string(i) + ".JPG"),
                  patternBytes(2000 + static_cast<size_t>(i), static_cast<unsigned>(i)));
    }
    // A large sparse clip first in the plan keeps the run going while the small files pass.
    writeFile(work / "CARD/A001.MOV", "");
    ASSERT_EQ(::truncate((work / "CARD/A001.MOV").c_str(), 256LL << 20), 0);
    fs::create_directories(work / "A");
    fs::create_directories(work / "B");

    ChildProcess child(ingest({"import", (work / "CARD").string(), "--to", (work / "A").string(),
                               "--to", (work / "B").string(), "--all-files", "--parallel", "1",
                               "--camera", "X", "--json"}));
    std::set<fs::path> folders;
    while (const auto line = child.readLine()) {
        const json event = json::parse(*line);
        if (event.at("event") == "progress" && event.contains("importFolder")) {
            folders.insert(event.at("importFolder").get<std::string>());
        }
        // Progress is printed once a second: the first lines with files verified are the ones.
        if (folders.size() == 2 && event.at("event") == "progress" &&
            event.at("verifiedFiles").get<int>() >= 1) {
            child.signal(SIGKILL);
            break;
        }
    }
    const int status = child.wait();
    ASSERT_TRUE(status == 128 + SIGKILL || status == 0) << child.output() << child.errors();
    ASSERT_EQ(folders.size(), 2u);

    for (const auto& folder : folders) {
        // Lines wait in the pipe, so one destination may have finished before the kill landed.
        const bool finished = fs::exists(folder / ImportDocuments::receipt);
        const auto resumed =
            runProcess(finished ? ingest({"verify", folder.string()})
                                : ingest({"resume", folder.string(), "--source",
                                          (work / "CARD").string(), "--all-files"}));
        ASSERT_EQ(resumed.status, 0) << resumed.output << resumed.errors;
        const ImportReceipt receipt = decodeReceipt(readFile(folder / ImportDocuments::receipt));
        ASSERT_EQ(receipt.files.size(), 601u);
        for (const auto& file : receipt.files) {
            if (file.path != "A001.MOV") {
                EXPECT_EQ(readFile(folder / file.path), readFile(work / "CARD" / file.path));
            }
        }
        expectNoTemporaries(folder);
    }
}

// Killed at the first document write (the first journal save) and at the last (the receipt):
// each folder resumes to one that verify accepts, and verify passes over what a write cut short
// leaves behind. A folder that is no import names itself in the failure.
TEST(IngestCommand, HardStopsAtTheFirstAndLastDocumentWriteResumeToAVerifiedFolder) {
    TempDir work;
    for (int i = 0; i < 3; ++i) {
        writeFile(work / ("CARD/DCIM/C" + std::to_string(i) + ".MP4"), patternBytes(5000, i + 1U));
    }
    const auto import = [&](const std::string& to, std::vector<std::string> strace) {
        fs::create_directories(work / to);
        // LeakSanitizer cannot work under a tracer.
        strace.insert(strace.begin(), {"/usr/bin/env", "ASAN_OPTIONS=detect_leaks=0",
                                       "/usr/bin/strace", "-f", "-qq", "-e", "trace=rename"});
        // Without the report, whose write comes after the receipt's and proves nothing.
        const auto words = ingest({"import", (work / "CARD").string(), "--to", (work / to).string(),
                                   "--all-files", "--rule", "X", "--no-report"});
        strace.insert(strace.end(), words.begin(), words.end());
        return runProcess(strace);
    };
    const fs::path log = work / "renames.log";
    // Only the renames are logged, one a line.
    ASSERT_EQ(import("count", {"-o", log.string(), "-e", "signal=none"}).status, 0);
    const std::string traced = readFile(log);
    const long renames = std::count(traced.begin(), traced.end(), '\n');

    for (const long when : {1L, renames}) {
        // Journal saves follow the clock, so a run may rename once more or less than the count:
        // the kill comes at the counted rename or the first after it, and a run that ended
        // before it is tried again.
        fs::path folder;
        for (int attempt = 0; attempt < 5; ++attempt) {
            const std::string to = "D" + std::to_string(when) + "_" + std::to_string(attempt);
            import(to, {"-o", "/dev/null", "-e",
                        "inject=rename:signal=KILL:when=" + std::to_string(when) + "+"});
            folder = work / to / "X";
            if (!fs::exists(folder / ImportDocuments::receipt)) {
                break;
            }
        }
        ASSERT_FALSE(fs::exists(folder / ImportDocuments::receipt));
        const auto resumed = runProcess(ingest(
            {"resume", folder.string(), "--source", (work / "CARD").string(), "--all-files"}));
        ASSERT_EQ(resumed.status, 0) << resumed.output << resumed.errors;
        expectNoTemporaries(folder);
        writeFile(folder / "ascmhl/.quaymark-status-00000000-0000-0000-0000-000000000000.tmp", "");
        const auto verified = runProcess(ingest({"verify", folder.string()}));
        EXPECT_EQ(verified.status, 0) << verified.output;
        EXPECT_NE(verified.output.find("match the receipt and the ASC MHL history. Temporary files "
                                       "of writes cut short were ignored."),
                  std::string::npos)
            << verified.output;
    }

    const fs::path stray = work / "stray";
    writeFile(stray / "notes.txt", "not an import");
    const auto refused = runProcess(
        ingest({"resume", stray.string(), "--source", (work / "CARD").string(), "--all-files"}));
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.output.starts_with("Failed     " + stray.string() + ": "))
        << refused.output;
}

// A camera name comes from clip metadata, so from whoever made the clip: the hint must paste
// into a shell as the words it shows and nothing more.
TEST(IngestCommand, ResumeHintPastesSafelyIntoAShell) {
    TempDir work;
    // Larger than any free space here: the import folder is made, then the run fails.
    writeFile(work / "CARD/A001C001.MOV", "");
    ASSERT_EQ(::truncate((work / "CARD/A001C001.MOV").c_str(), 1LL << 40), 0);
    fs::create_directories(work / "A");
    const std::string camera = "x'$(touch HACKED)'y";

    const auto failed =
        runProcess(ingest({"import", (work / "CARD").string(), "--to", (work / "A").string(),
                           "--camera", camera, "--rule", "{camera}"}));
    ASSERT_EQ(failed.status, 1) << failed.output << failed.errors;
    const std::string marker = "resume with: quaymark-ingest ";
    const size_t at = failed.output.find(marker);
    ASSERT_NE(at, std::string::npos) << failed.output;
    const std::string words =
        failed.output.substr(at + marker.size(), failed.output.find('\n', at) - at - marker.size());

    const auto pasted =
        runProcess({"/bin/sh", "-c", "cd " + work.path().string() + " && printf '%s\\n' " + words});
    EXPECT_EQ(pasted.output, "resume\n" + (work / "A" / camera).string() + "\n--source\n" +
                                 (work / "CARD").string() + "\n");
    EXPECT_FALSE(fs::exists(work / "HACKED"));
}

// A file name can hold terminal escapes and bytes that are not text; printed raw they would
// rewrite the user's screen.
TEST(IngestCommand, VerifyPrintsNamesEscapedAndRefusesAFifoReceipt) {
    TempDir work;
    writeFile(work / "CARD/C0001.MP4", "clip");
    fs::create_directories(work / "A");
    const auto imported =
        runProcess(ingest({"import", (work / "CARD").string(), "--to", (work / "A").string(),
                           "--camera", "X", "--rule", "{source}"}));
    ASSERT_EQ(imported.status, 0) << imported.output << imported.errors;
    const fs::path folder = work / "A/CARD";
    writeFile(folder / "evil\x1b[2J\xff\xc2\x85.txt", "");

    const auto verified = runProcess(ingest({"verify", folder.string()}));
    EXPECT_EQ(verified.status, 1);
    EXPECT_NE(verified.output.find("Unlisted   evil\\x1B[2J\\xFF\\u0085.txt\n"), std::string::npos)
        << verified.output;
    EXPECT_EQ(verified.output.find('\x1b'), std::string::npos);

    fs::remove(folder / "_QUAYMARK_VERIFIED.json");
    ASSERT_EQ(::mkfifo((folder / "_QUAYMARK_VERIFIED.json").c_str(), 0600), 0);
    auto fifo = std::async(std::launch::async, [&] {
        return runProcess(ingest({"verify", folder.string()}));
    });
    if (fifo.wait_for(std::chrono::seconds(60)) == std::future_status::timeout) {
        ADD_FAILURE() << "verify waited on a FIFO receipt";
        ::close(::open((folder / "_QUAYMARK_VERIFIED.json").c_str(), O_WRONLY | O_NONBLOCK));
    }
    EXPECT_EQ(fifo.get().status, 1);
}

// A video project's folder is checked against its downloads receipt, and only inside itself.
TEST(IngestCommand, VerifyChecksAProjectFolderAgainstItsDownloadsReceipt) {
    TempDir work;
    const fs::path project = work / "Harbour_0A1B2C3D";
    writeFile(project / "Dawn [Fake-1].mp4", "dawn");
    writeFile(project / "Dawn [Fake-1] (ProRes 422 HQ).mov", "dawn in prores");
    writeFile(work / "outside.mp4", "elsewhere");
    std::vector<ImportEngine::DownloadedFile> files;
    for (const std::string name : {"Dawn [Fake-1].mp4", "Dawn [Fake-1] (ProRes 422 HQ).mov"}) {
        const std::string bytes = readFile(project / name);
        files.push_back({name, "https://v.example/1", "Dawn", "", "", "Fake", "1", "prores",
                         "2099.01.01", "6.1", "2026-12-07T10:00:00Z",
                         static_cast<std::int64_t>(bytes.size()), Sha256::hex(bytes)});
    }
    ImportEngine::recordDownloads(project, files);

    const auto verified = runProcess(ingest({"verify", project.string()}));
    EXPECT_EQ(verified.status, 0) << verified.output << verified.errors;
    EXPECT_EQ(verified.output,
              "All 2 files in " + project.string() + " match the downloads receipt.\n");

    writeFile(project / "Dawn [Fake-1].mp4", "dawN");
    files[0] = {"../outside.mp4",        "", "", "", "", "", "", "", "", "", "", 9,
                Sha256::hex("elsewhere")};
    ImportEngine::recordDownloads(project, {files[0]});
    const auto failed = runProcess(ingest({"verify", project.string()}));
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.output, "Changed    Dawn [Fake-1].mp4\nMissing    ../outside.mp4\n1 "
                             "missing and 1 changed of 3 files in the downloads receipt of " +
                                 project.string() + ".\n")
        << "a receipt names nothing outside its folder";
    const auto events =
        eventsOf(runProcess(ingest({"verify", project.string(), "--json"})).output, "result");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].at("status"), "mismatch");
    EXPECT_EQ(events[0].at("changed"), 1);
}

TEST(IngestCommand, ErrorsAndUsage) {
    TempDir work;
    const auto usage = runProcess(ingest({"import", (work / "CARD").string()}));
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.errors.find("Usage:"), std::string::npos);
    EXPECT_EQ(runProcess(ingest({"--help"})).status, 0);

    const auto noReceipt = runProcess(ingest({"verify", work.path().string(), "--json"}));
    EXPECT_EQ(noReceipt.status, 1);
    const auto errors = eventsOf(noReceipt.output, "error");
    ASSERT_EQ(errors.size(), 1u) << noReceipt.output;
    EXPECT_EQ(errors[0].at("message"),
              "No verification receipt in " + work.path().string() +
                  ": No such file or directory. The import was never fully verified.");
}

} // namespace
} // namespace quaymark::test
