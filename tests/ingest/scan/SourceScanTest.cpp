// SPDX-License-Identifier: GPL-3.0-or-later
#include "ingest/scan/SourceScan.h"

#include "TestFiles.h"
#include "ingest/engine/ImportRun.h"
#include "ingest/records/QuayError.h"
#include "ingest/records/Sha256.h"
#include "ingest/scan/LocationCheck.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace quaymark {
namespace {

using namespace std::chrono;
using namespace std::string_literals;
using ImportEngine::validateLocations;
using test::TempDir;
using test::writeFile;
using testing::ElementsAre;
using testing::StrEq;
using testing::ThrowsMessage;
using testing::UnorderedElementsAre;

std::vector<SourceFile> scan(const std::filesystem::path& root, bool videosOnly = false) {
    return ImportEngine::scan(root, videosOnly, CancellationFlag{});
}

// Output names in plan order; outside video-only mode they are the relative paths.
std::vector<std::string> outputs(const std::filesystem::path& root, bool videosOnly = false) {
    std::vector<std::string> names;
    for (const auto& file : scan(root, videosOnly)) {
        names.push_back(file.output);
    }
    return names;
}

std::string hashed(const std::string& text, size_t digits = 12) {
    return Sha256::hex(text).substr(0, digits);
}

// Root reads every folder whatever its mode; without that override on the calling thread a
// folder without permissions is unreadable, as it is for users. Given back when it goes.
struct WithoutPermissionOverride {
    WithoutPermissionOverride() { set(false); }
    ~WithoutPermissionOverride() { set(true); }
    static void set(bool on) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2]{};
        if (::syscall(SYS_capget, &header, caps) == 0) {
            const unsigned dac = (1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH);
            caps[0].effective =
                on ? caps[0].effective | (caps[0].permitted & dac) : caps[0].effective & ~dac;
            ::syscall(SYS_capset, &header, caps);
        }
    }
};

TEST(LocationCheck, RefusesOverlappingFoldersThenNamesAMissingOneSourceFirst) {
    TempDir dir;
    const auto card = dir / "x/CARD";
    std::filesystem::create_directories(card / "Backup");
    std::filesystem::create_directories(dir / "x/CARD2");
    std::filesystem::create_directory_symlink(card, dir / "alias");
    writeFile(dir / "file", "not a folder");
    const std::string separate =
        "Choose separate source and destination folders. Neither can contain the other.";
    const auto unavailable = [](const std::filesystem::path& path) {
        return "Folder unavailable: " + path.string() +
               ". Connect the drive or mount the network share first.";
    };
    struct Case {
        std::filesystem::path source, target;
        std::string message;
    };
    const std::vector<Case> refused{
        {card, card, separate},
        {card, card / "Backup", separate},
        {card / "Backup", card, separate},
        {card.string() + "/", card, separate},
        {dir / "alias", card / "Backup", separate}, // the same folder through a link
        {card, dir / "alias/Backup", separate},
        {"/", card, separate},
        {card, "/", separate},
        // Named as resolved: without a trailing "/", and after "..".
        {dir / "gone", dir / "also-gone", unavailable(dir / "gone")},
        {card, dir / "gone/", unavailable(dir / "gone")},
        {card, dir / "file", unavailable(dir / "file")},
        {card / "../../file", card, unavailable(dir / "file")},
    };
    for (const auto& [source, target, message] : refused) {
        EXPECT_THAT([&] { validateLocations(source, target); },
                    ThrowsMessage<QuayError>(StrEq(message)))
            << source << " -> " << target;
    }
    // A name that merely starts like the other is a different folder.
    EXPECT_NO_THROW(validateLocations(card, dir / "x/CARD2"));
    EXPECT_NO_THROW(validateLocations(dir / "x/CARD2", card));
}

TEST(SourceScan, PlansTheWholeTreeButNoSystemFolderOrLink) {
    TempDir dir;
    const auto card = dir / "CARD";
    writeFile(card / "A/C0001.MP4", "clip");
    // System names go with everything below them, at any depth, but only in their exact case.
    for (const auto* file :
         {"A/.DS_Store", ".Trashes/501/C0009.MP4", "B/.fseventsd/uuid",
          "PRIVATE/.Spotlight-V100/Store-V2/db", ".TemporaryItems/t", "B/deep/.DS_Store/inside",
          "._C0001.MP4", ".trashes/kept", "M4ROOT/CLIP/README"}) {
        writeFile(card / file, "");
    }
    writeFile(dir / "elsewhere/nested/C0002.MOV", "outside the card");
    std::filesystem::create_directory_symlink(dir / "elsewhere", card / "linked-folder");
    std::filesystem::create_directory_symlink(card / "A", card / "A-again");
    std::filesystem::create_symlink(dir / "elsewhere/nested/C0002.MOV", card / "linked.MOV");
    std::filesystem::create_symlink(card / "A/C0001.MP4", card / "A/inside-link.MP4");
    std::filesystem::create_symlink(dir / "missing.MOV", card / "dangling.MOV");
    const auto written = sys_days{2024y / June / 3} + 123'456'789ns;
    std::filesystem::last_write_time(card / "A/C0001.MP4", file_clock::from_sys(written));

    ASSERT_THAT(outputs(card),
                ElementsAre("._C0001.MP4", ".trashes/kept", "A/C0001.MP4", "M4ROOT/CLIP/README"));
    EXPECT_THAT(outputs(card, true), ElementsAre("._C0001.MP4", "C0001.MP4"));
    const SourceFile clip = scan(card)[2];
    EXPECT_EQ(clip.relative, "A/C0001.MP4");
    EXPECT_EQ(clip.bytes, 4);
    EXPECT_EQ(clip.modified, written);
}

// Copied as plain files, an import's own documents would collide with the new import's: a
// copied receipt would be replaced by the new one. Any of them, of any type, at the root.
TEST(SourceScan, RefusesAnImportFolderAsSourceButNotTheFolderHoldingIt) {
    for (const char* name : {"_QUAYMARK_SESSION.json", "_QUAYMARK_VERIFIED.json",
                             "_QUAYMARK_INCOMPLETE.txt", ".quaymark-import.lock"}) {
        TempDir dir;
        const auto imported = dir / "2025-03-01";
        writeFile(imported / "C0001.MP4", "clip");
        writeFile(imported / name, "{}");
        EXPECT_THAT([&] { scan(imported); },
                    ThrowsMessage<QuayError>(StrEq(
                        "This folder is a Quaymark import folder. To copy it, choose the folder "
                        "that contains it.")))
            << name;
        EXPECT_THAT(outputs(imported, true), ElementsAre("C0001.MP4")) << name;
        EXPECT_THAT(outputs(dir.path()),
                    UnorderedElementsAre("2025-03-01/C0001.MP4", "2025-03-01/"s + name))
            << name;
    }
}

// A card whose clock was set far off must not wrap around to another date.
TEST(SourceScan, FileTimesBeyondATimestampAreLeftOut) {
    TempDir dir;
    writeFile(dir / "CARD/C0001.MP4", "clip");
    const timespec year2400[2] = {{13'569'465'600, 0}, {13'569'465'600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "CARD/C0001.MP4").c_str(), year2400, 0), 0);
    const auto plan = scan(dir / "CARD");
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_FALSE(plan[0].modified);
}

TEST(SourceScan, SortsByUnicodeScalarValueOfTheComposedPath) {
    TempDir dir;
    // "e" + combining acute composes to U+00E9, which sorts after "z".
    for (const auto* name :
         {"a.txt", "B.txt", "z.txt", "_.txt", "A-b", "A.txt", "A/x", "e\xCC\x81.txt"}) {
        writeFile(dir / "CARD" / name, name);
    }
    // Upper case before lower case, and "." before "/" rather than folder by folder.
    EXPECT_THAT(outputs(dir / "CARD"), ElementsAre("A-b", "A.txt", "A/x", "B.txt", "_.txt", "a.txt",
                                                   "z.txt", "e\xCC\x81.txt"));
}

TEST(SourceScan, FlatNamesAreUniqueUnderCaseAndNormalisation) {
    TempDir dir;
    // A name already given to another clip gets a fresh "clip_" name on every attempt.
    const std::string hashedA = "C0001_" + hashed("A/C0001.MP4") + ".MP4";
    const std::string firstTry = "clip_" + hashed("C/" + hashedA + "#1", 20) + ".MP4";
    // A precomposed and a decomposed é, and names that are not UTF-8 and differ only in case.
    for (const auto& file : {"A/C0001.MP4"s, "B/C0001.MP4"s, "C/" + hashedA, "0/" + firstTry,
                             "X/C0002.MP4"s, "c/clip.mov"s, "d/CLIP.MOV"s, "e/\xC3\xA9.mov"s,
                             "f/e\xCC\x81.mov"s, "raw\xFF.MOV"s, "sub/RAW\xFF.mov"s}) {
        writeFile(dir / "CARD" / file, file);
    }
    EXPECT_THAT(outputs(dir / "CARD", true),
                ElementsAre(firstTry, hashedA, "C0001_" + hashed("B/C0001.MP4") + ".MP4",
                            "clip_" + hashed("C/" + hashedA + "#2", 20) + ".MP4", "C0002.MP4",
                            "clip_" + hashed("c/clip.mov") + ".mov",
                            "CLIP_" + hashed("d/CLIP.MOV") + ".MOV",
                            "\xC3\xA9_" + hashed("e/\xC3\xA9.mov") + ".mov",
                            "e\xCC\x81_" + hashed("f/e\xCC\x81.mov") + ".mov",
                            "raw\xFF_" + hashed("raw\xFF.MOV") + ".MOV",
                            "RAW\xFF_" + hashed("sub/RAW\xFF.mov") + ".mov"));
}

TEST(SourceScan, StopsOnCancellationAndUnreadableFolders) {
    TempDir dir;
    const auto card = dir / "CARD";
    writeFile(card / "A/C0001.MOV", "clip");
    writeFile(card / "B/locked/C0002.MOV", "clip");
    // Cards often carry a ".Trashes" that only the system can open; it is never entered.
    writeFile(dir / "TIDY/C0003.MOV", "clip");
    writeFile(dir / "TIDY/.Trashes/501/old.MOV", "clip");
    std::filesystem::create_directories(dir / "closed");
    for (const auto& folder : {card / "B/locked", dir / "TIDY/.Trashes", dir / "closed"}) {
        std::filesystem::permissions(folder, std::filesystem::perms::none);
    }
    CancellationFlag cancelled;
    cancelled.cancel();
    EXPECT_THAT([&] { ImportEngine::scan(card, false, cancelled); },
                ThrowsMessage<QuayError>(
                    StrEq("Import cancelled. Completed files remain in the import folder.")));

    const WithoutPermissionOverride guard;
    std::error_code denied;
    const std::filesystem::directory_iterator probe(dir / "closed", denied);
    if (!denied) {
        GTEST_SKIP() << "this process reads folders without permission";
    }
    // The engine's own error, with the folder and the reason kept for the caller.
    try {
        ImportEngine::plannedFiles(card, false, CancellationFlag{});
        ADD_FAILURE() << "an unreadable folder was passed over";
    } catch (const QuayError& error) {
        EXPECT_EQ(error.kind(), QuayError::Kind::io);
        EXPECT_EQ(error.payload(), (card / "B/locked").string());
        EXPECT_EQ(error.code(), EACCES);
    }
    EXPECT_THAT(outputs(dir / "TIDY"), ElementsAre("C0003.MOV"));
    for (const auto* root : {"closed", "missing"}) {
        EXPECT_THAT([&] { scan(dir / root); },
                    ThrowsMessage<QuayError>(StrEq("Cannot read the source folder.")));
    }
}

} // namespace
} // namespace quaymark
