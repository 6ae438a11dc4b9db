// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportFixture.h"
#include "ingest/copy/SessionLock.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <future>
#include <ranges>

namespace quaymark::test {
namespace {

class ResumeTest : public ImportFixture {
protected:
    fs::path folder;
    SessionRecord finished;

    // A verified import, taken back to the state an interrupted one would leave.
    void importThenInterrupt(int keepInJournal, int keepOnDisk) {
        makeCard();
        folder = run().destination;
        finished = journal(folder);
        fs::remove(folder / "_QUAYMARK_VERIFIED.json");
        SessionRecord record = finished;
        std::sort(record.completed.begin(), record.completed.end(),
                  [](const auto& a, const auto& b) { return a.path < b.path; });
        for (size_t i = static_cast<size_t>(keepOnDisk); i < record.completed.size(); ++i) {
            fs::remove(folder / record.completed[i].path);
        }
        record.completed.resize(static_cast<size_t>(keepInJournal));
        record.status = "interrupted";
        record.failure = "Drive disconnected or changed: x. Reconnect it and use Retry / recover.";
        saveSession(record, folder);
        writeFile(folder / "_QUAYMARK_INCOMPLETE.txt", "Import interrupted: x\n");
    }

    std::string journalText() const { return readFile(folder / "_QUAYMARK_SESSION.json"); }
};

TEST_F(ResumeTest, HardStopRechecksPromotedFilesAndCopiesTheRest) {
    importThenInterrupt(2, 3);
    // A crash also leaves the partial files of the copies that were running.
    const auto& partials = *finished.partialFiles;
    const std::string stale = partials.at("DCIM/101/C0009.MP4");
    writeFile(folder / stale, "half a clip");

    const ImportResult result = run(folder);
    EXPECT_EQ(result.fileCount, 10);
    EXPECT_FALSE(fs::exists(folder / stale));
    expectNoTemporaries(folder);

    const ImportReceipt receipt = decodeReceipt(readFile(folder / "_QUAYMARK_VERIFIED.json"));
    ASSERT_EQ(receipt.files.size(), 10u);
    for (const auto& file : receipt.files) {
        EXPECT_EQ(Sha256::hex(readFile(folder / file.path)), file.sha256);
        EXPECT_EQ(readFile(folder / file.path), readFile(source / file.path));
    }
    EXPECT_EQ(receipt.started, finished.started) << "the first run's start is kept";

    std::lock_guard lock(mutex);
    std::vector<std::string> rechecked;
    std::ranges::copy_if(reports | std::views::transform(&ImportProgress::currentFile),
                         std::back_inserter(rechecked),
                         [](const std::string& file) { return file.starts_with("Rechecked "); });
    EXPECT_EQ(rechecked, (std::vector<std::string>{"Rechecked DCIM/100/C0000.MP4",
                                                   "Rechecked DCIM/100/C0002.MP4",
                                                   "Rechecked DCIM/100/C0004.MP4"}));
}

TEST_F(ResumeTest, EditedCopyStopsTheResumeAsAMismatch) {
    importThenInterrupt(10, 10);
    writeFile(folder / "DCIM/101/C0003.MP4", patternBytes(4099, 99));
    const std::string mismatch =
        "Checksum mismatch: DCIM/101/C0003.MP4. The import has not been marked verified.";
    EXPECT_EQ(runFailure(folder), mismatch);
    EXPECT_EQ(journal(folder).status, "interrupted");
    EXPECT_EQ(journal(folder).failure, mismatch);
    EXPECT_FALSE(fs::exists(folder / "_QUAYMARK_VERIFIED.json"));
}

TEST_F(ResumeTest, RefusalsLeaveTheJournalUntouched) {
    importThenInterrupt(2, 2);
    const std::string before = journalText();

    TempDir elsewhere;
    fs::create_directories(elsewhere / "import");
    EXPECT_EQ(runFailure(elsewhere / "import"),
              "Recovery folder must be inside the selected destination.");

    const std::string otherCard = "This recovery belongs to a different source or import mode. "
                                  "Reconnect the original card.";
    options.videosOnly = true;
    writeFile(source / "CLIP.MOV", "so that video-only mode finds a clip");
    EXPECT_EQ(runFailure(folder), otherCard);
    options.videosOnly = false;
    fs::remove(source / "CLIP.MOV");

    environment.volumeIdentifier = [](const fs::path&) {
        return std::optional<std::string>("0A1B2C3D-0000-4000-8000-000000000001");
    };
    EXPECT_EQ(runFailure(folder), otherCard);
    environment = ImportEngine::systemEnvironment();

    {
        SessionLock running{folder};
        EXPECT_EQ(runFailure(folder),
                  "This import is already running in another job or app window.");
    }

    writeFile(source / "DCIM/EXTRA.MP4", "new since");
    EXPECT_EQ(runFailure(folder),
              "Source changed during import: The source file list differs from the interrupted "
              "import. Keep the card untouched and try again.");
    fs::remove(source / "DCIM/EXTRA.MP4");

    writeFile(folder / "_QUAYMARK_VERIFIED.json", "{}");
    EXPECT_EQ(runFailure(folder), "This import already has a complete verification receipt. "
                                  "Start a new import instead.");
    fs::remove(folder / "_QUAYMARK_VERIFIED.json");

    EXPECT_EQ(journalText(), before);
    EXPECT_EQ(markerOf(folder), "Import interrupted: x\n");
    EXPECT_NO_THROW(run(folder)) << "the right card still resumes";
}

TEST_F(ResumeTest, PartialEntryLeadingOutsideTheFolderIsRefusedAndNothingDeleted) {
    importThenInterrupt(2, 2);
    TempDir elsewhere;
    writeFile(elsewhere / ".quaymark-X.partial", "not ours");
    SessionRecord record = journal(folder);
    (*record.partialFiles)["DCIM/101/C0009.MP4"] =
        fs::relative(elsewhere / ".quaymark-X.partial", folder).string();
    saveSession(record, folder);

    EXPECT_EQ(runFailure(folder), "Invalid temporary-file recovery record.");
    EXPECT_EQ(readFile(elsewhere / ".quaymark-X.partial"), "not ours");
    EXPECT_EQ(journal(folder).status, "interrupted");

    for (const char* entry : {"DCIM/101/KEEP.MP4", "DCIM/101/.quaymark-X.tmp"}) {
        writeFile(folder / entry, "kept");
        record = journal(folder);
        (*record.partialFiles)["DCIM/101/C0009.MP4"] = entry;
        saveSession(record, folder);
        EXPECT_EQ(runFailure(folder), "Invalid temporary-file recovery record.") << entry;
        EXPECT_EQ(readFile(folder / entry), "kept");
        fs::remove(folder / entry);
    }
}

// What a hard stop leaves behind goes once the resume holds the folder, and nothing else: only
// the exact temporary name, only regular files, only at the root.
TEST_F(ResumeTest, HardStopLeftoversAreRemovedAndNothingElse) {
    importThenInterrupt(2, 3);
    const std::string leftover = ".quaymark-status-0A1B2C3D-0000-4000-8000-00000000000A.tmp";
    writeFile(folder / leftover, "half a journal");
    const std::vector<std::string> kept{
        ".quaymark-status-0a1b2c3d-0000-4000-8000-00000000000a.tmp",
        ".quaymark-status-0A1B2C3D-0000-4000-8000-00000000000A.tmp.bak",
        "DCIM/" + leftover,
    };
    for (const auto& name : kept) {
        writeFile(folder / name, "not ours");
    }
    const std::string fifo = ".quaymark-status-0A1B2C3D-0000-4000-8000-00000000000B.tmp";
    ASSERT_EQ(::mkfifo((folder / fifo).c_str(), 0600), 0);
    // A stop between the hard link and the unlink of a move: both names, one file.
    const std::string promoted = "DCIM/100/C0004.MP4";
    const std::string partial = finished.partialFiles->at(promoted);
    fs::create_hard_link(folder / promoted, folder / partial);

    EXPECT_EQ(run(folder).fileCount, 10);
    EXPECT_FALSE(fs::exists(folder / leftover));
    EXPECT_FALSE(fs::exists(folder / partial));
    EXPECT_EQ(readFile(folder / promoted), readFile(source / promoted));
    for (const auto& name : kept) {
        EXPECT_EQ(readFile(folder / name), "not ours") << name;
    }
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(folder / fifo)));
}

// A FIFO where a document or a copy should be is refused at once; a reader left waiting on it
// would hold the run, or a disk worker, for good. Each case is bounded: on a hang the FIFO is
// opened for writing, which releases the reader, and the case fails.
TEST_F(ResumeTest, FifosInPlaceOfFilesAreRefusedAtOnce) {
    importThenInterrupt(10, 10);
    const std::string journalFile = "_QUAYMARK_SESSION.json";
    const std::string savedJournal = readFile(folder / journalFile);
    const struct {
        std::string name;
        std::string message;
    } cases[] = {
        {journalFile, "Recovery record is too large to read safely."},
        {".quaymark-import.lock", "Cannot lock this import folder."},
        {"DCIM/101/C0003.MP4",
         "Checksum mismatch: DCIM/101/C0003.MP4. The import has not been marked verified."},
    };
    for (const auto& fifoCase : cases) {
        const fs::path path = folder / fifoCase.name;
        const std::string saved = fifoCase.name == journalFile ? savedJournal : readFile(path);
        fs::remove(path);
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        auto failure = std::async(std::launch::async, [this] { return runFailure(folder); });
        if (failure.wait_for(std::chrono::seconds(60)) == std::future_status::timeout) {
            ADD_FAILURE() << fifoCase.name << " held the run";
            ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
        }
        EXPECT_EQ(failure.get(), fifoCase.message) << fifoCase.name;
        fs::remove(path);
        writeFile(path, saved);
    }
    EXPECT_EQ(run(folder).fileCount, 10);
}

// A link put where a sub-folder of an interrupted import was must not vouch for copies that
// live elsewhere, nor receive new ones.
TEST_F(ResumeTest, LinkInPlaceOfASubFolderFailsTheResume) {
    importThenInterrupt(3, 6);
    TempDir elsewhere;
    fs::create_directories(elsewhere / "101");
    for (int i = 1; i < 10; i += 2) {
        const std::string name = "C000" + std::to_string(i) + ".MP4";
        fs::copy_file(source / "DCIM/101" / name, elsewhere / "101" / name);
    }
    fs::remove_all(folder / "DCIM/101");
    fs::create_directory_symlink(elsewhere / "101", folder / "DCIM/101");
    const auto before = listTree(elsewhere.path());

    EXPECT_EQ(runFailure(folder),
              "The import folder contains a link where a folder was expected: DCIM/101.");
    EXPECT_EQ(journal(folder).status, "interrupted");
    EXPECT_FALSE(fs::exists(folder / "_QUAYMARK_VERIFIED.json"));
    EXPECT_EQ(listTree(elsewhere.path()), before);
}

TEST_F(ResumeTest, JournalWithoutAPlanAdoptsTheCurrentOne) {
    importThenInterrupt(0, 0);
    SessionRecord record = journal(folder);
    record.plannedFiles.reset();
    record.partialFiles.reset();
    saveSession(record, folder);
    EXPECT_EQ(run(folder).fileCount, 10);
    EXPECT_EQ(journal(folder).plannedFiles, finished.plannedFiles);
}

} // namespace
} // namespace quaymark::test

namespace quaymark::test {
namespace {

// Linux file names are bytes; the journal can only hold text, yet such a card still resumes.
TEST_F(ImportFixture, NamesThatAreNotUtf8StillResume) {
    const std::string kept = "DCIM/C\37701.MP4", lost = "DCIM/C\37601.MP4";
    writeFile(source / kept, patternBytes(5000, 1));
    writeFile(source / lost, patternBytes(6000, 2));
    writeFile(source / "DCIM/C0003.MP4", patternBytes(7000, 3));
    const fs::path folder = run().destination;
    EXPECT_EQ(readFile(folder / kept), readFile(source / kept));

    fs::remove(folder / "_QUAYMARK_VERIFIED.json");
    fs::remove(folder / lost);
    SessionRecord record = journal(folder);
    record.status = "interrupted";
    record.completed.resize(1);
    saveSession(record, folder);
    EXPECT_EQ(run(folder).fileCount, 3);
    EXPECT_EQ(readFile(folder / lost), readFile(source / lost));
    EXPECT_EQ(journal(folder).status, "verified");
}

} // namespace
} // namespace quaymark::test
