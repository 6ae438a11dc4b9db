#include "TestFiles.h"
#include "ingest/records/QuayError.h"
#include "ingest/records/Sha256.h"
#include "ingest/scan/SourceScan.h"

#include <dirent.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace quaymark {
namespace {

using test::TempDir;
using test::writeFile;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;
using testing::StrEq;
using testing::ThrowsMessage;

std::vector<SourceFile> scan(const std::filesystem::path& root, bool videosOnly = false) {
    const CancellationFlag flag;
    return ImportEngine::scan(root, videosOnly, flag);
}

std::vector<std::string> relatives(const std::vector<SourceFile>& plan) {
    std::vector<std::string> paths;
    for (const auto& file : plan) {
        paths.push_back(file.relative);
    }
    return paths;
}

std::vector<std::string> outputs(const std::vector<SourceFile>& plan) {
    std::vector<std::string> names;
    for (const auto& file : plan) {
        names.push_back(file.output);
    }
    return names;
}

std::string hashed(const std::string& text, size_t digits) {
    return Sha256::hex(text).substr(0, digits);
}

// Root reads every folder whatever its mode; this drops that override from the calling thread
// for the guard's lifetime, so a folder without permissions is unreadable as it is for users.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride() {
        if (::syscall(SYS_capget, &header_, saved_) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH));
        active_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutPermissionOverride() {
        if (active_) {
            ::syscall(SYS_capset, &header_, saved_);
        }
    }
    WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
    WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

bool canList(const std::filesystem::path& folder) {
    DIR* handle = ::opendir(folder.c_str());
    if (handle != nullptr) {
        ::closedir(handle);
    }
    return handle != nullptr;
}

TEST(SourceScan, PlansTheWholeTreeExceptSystemFolders) {
    TempDir dir;
    const auto card = dir / "CARD";
    writeFile(card / "A/C0001.MP4", "clip");
    writeFile(card / "A/.DS_Store", "x");
    writeFile(card / ".Trashes/501/C0009.MP4", "x");
    writeFile(card / "PRIVATE/.Spotlight-V100/Store-V2/db", "x");
    writeFile(card / "B/.fseventsd/fseventsd-uuid", "x");
    writeFile(card / ".TemporaryItems/t", "x");
    writeFile(card / "B/deep/.DS_Store/inside", "x"); // a folder with a skipped name
    writeFile(card / "._C0001.MP4", "apple double");
    writeFile(card / ".trashes/kept", "names are case-sensitive");
    writeFile(card / "M4ROOT/CLIP/README", "no extension");
    writeFile(card / "Empty.MOV", "");
    std::filesystem::create_directories(card / "empty/folder");

    const auto plan = scan(card);
    EXPECT_THAT(relatives(plan), ElementsAre("._C0001.MP4", ".trashes/kept", "A/C0001.MP4",
                                             "Empty.MOV", "M4ROOT/CLIP/README"));
    const SourceFile& clip = plan[2];
    EXPECT_EQ(clip.url, card / "A/C0001.MP4");
    EXPECT_EQ(clip.output, clip.relative);
    EXPECT_EQ(clip.bytes, 4);
    const auto written = std::filesystem::last_write_time(clip.url);
    ASSERT_TRUE(clip.modified.has_value());
    EXPECT_EQ(clip.modified->time_since_epoch().count(),
              std::chrono::file_clock::to_sys(written).time_since_epoch().count());
    EXPECT_EQ(plan[3].bytes, 0);

    EXPECT_THAT(relatives(scan(card, true)),
                ElementsAre("._C0001.MP4", "A/C0001.MP4", "Empty.MOV"));
    std::filesystem::create_directories(dir / "blank");
    EXPECT_THAT(scan(dir / "blank"), IsEmpty());
}

TEST(SourceScan, NeitherPlansNorFollowsSymbolicLinks) {
    TempDir dir;
    const auto card = dir / "CARD";
    writeFile(card / "DCIM/C0001.MOV", "clip");
    writeFile(dir / "elsewhere/C0002.MOV", "outside the card");
    writeFile(dir / "elsewhere/nested/C0003.MOV", "outside the card");
    std::filesystem::create_directory_symlink(dir / "elsewhere", card / "linked-folder");
    std::filesystem::create_directory_symlink(card / "DCIM", card / "DCIM-again");
    std::filesystem::create_symlink(dir / "elsewhere/C0002.MOV", card / "linked.MOV");
    std::filesystem::create_symlink(card / "DCIM/C0001.MOV", card / "DCIM/inside-link.MOV");
    std::filesystem::create_symlink(dir / "missing.MOV", card / "dangling.MOV");

    for (const bool videosOnly : {false, true}) {
        EXPECT_THAT(relatives(scan(card, videosOnly)), ElementsAre("DCIM/C0001.MOV"));
    }
}

TEST(SourceScan, SortsByUnicodeScalarValueOfTheComposedName) {
    TempDir dir;
    const auto card = dir / "CARD";
    const std::string decomposed = "e\xCC\x81.txt"; // e + combining acute, composes to U+00E9
    for (const std::string name : {"a.txt", "B.txt", "z.txt", "_.txt", "A-b", "A.txt", "A/x"}) {
        writeFile(card / name, name);
    }
    writeFile(card / decomposed, "accent");

    // Upper case before lower case, "." before "/" (not folder by folder), and the accented
    // letter after "z" although its decomposed bytes start with a plain "e".
    EXPECT_THAT(relatives(scan(card)),
                ElementsAre("A-b", "A.txt", "A/x", "B.txt", "_.txt", "a.txt", "z.txt", decomposed));
}

TEST(SourceScan, FlatNamesAreUniqueUnderCaseAndNormalisation) {
    TempDir dir;
    const auto card = dir / "CARD";
    const std::string composedE = "\xC3\xA9";    // U+00E9
    const std::string decomposedE = "e\xCC\x81"; // e + U+0301
    const std::vector<std::string> files{"A/C0001.MP4",
                                         "B/C0001.MP4",
                                         "X/C0002.MP4",
                                         "c/clip.mov",
                                         "d/CLIP.MOV",
                                         "e/" + composedE + ".mov",
                                         "f/" + decomposedE + ".mov",
                                         "g/C0001.txt"};
    for (const auto& file : files) {
        writeFile(card / file, file);
    }

    const auto plan = scan(card, true);
    EXPECT_THAT(outputs(plan),
                ElementsAre("C0001_" + hashed("A/C0001.MP4", 12) + ".MP4",
                            "C0001_" + hashed("B/C0001.MP4", 12) + ".MP4", "C0002.MP4",
                            "clip_" + hashed("c/clip.mov", 12) + ".mov",
                            "CLIP_" + hashed("d/CLIP.MOV", 12) + ".MOV",
                            composedE + "_" + hashed("e/" + composedE + ".mov", 12) + ".mov",
                            decomposedE + "_" + hashed("f/" + decomposedE + ".mov", 12) + ".mov"));
    EXPECT_EQ(plan[0].relative, "A/C0001.MP4");
    EXPECT_EQ(plan[0].url, card / "A/C0001.MP4");
}

TEST(SourceScan, LongCollidingNamesAreCutOnCharacterBoundaries) {
    TempDir dir;
    const auto card = dir / "CARD";
    const std::string ascii(200, 'a');
    const std::string accented = "a" + [] {
        std::string text;
        for (int i = 0; i < 100; ++i) {
            text += "\xC3\xA9"; // two bytes each: byte 180 falls inside one
        }
        return text;
    }();
    const std::string combining = "x" + [] {
        std::string text;
        for (int i = 0; i < 70; ++i) {
            text += "e\xCC\x81"; // one character of three bytes
        }
        return text;
    }();
    for (const auto& base : {ascii, accented, combining}) {
        writeFile(card / "1" / (base + ".MOV"), "one");
        writeFile(card / "2" / (base + ".MOV"), "two");
    }

    const auto plan = scan(card, true);
    ASSERT_EQ(plan.size(), 6U);
    const std::vector<std::string> kept{ascii.substr(0, 180), accented.substr(0, 179),
                                        combining.substr(0, 178)};
    for (size_t i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(plan[i].output, kept[i % 3] + "_" + hashed(plan[i].relative, 12) + ".MOV")
            << plan[i].relative;
    }
}

TEST(SourceScan, ANameTakenByAnotherClipGetsAFreshClipNameOnEveryAttempt) {
    TempDir dir;
    const auto card = dir / "CARD";
    const std::string hashedA = "C0001_" + hashed("A/C0001.MP4", 12) + ".MP4";
    const std::string firstTry = "clip_" + hashed("C/" + hashedA + "#1", 20) + ".MP4";
    for (const std::string& file :
         std::vector<std::string>{"A/C0001.MP4", "B/C0001.MP4", "C/" + hashedA, "0/" + firstTry}) {
        writeFile(card / file, file);
    }

    EXPECT_THAT(outputs(scan(card, true)),
                ElementsAre(firstTry, hashedA, "C0001_" + hashed("B/C0001.MP4", 12) + ".MP4",
                            "clip_" + hashed("C/" + hashedA + "#2", 20) + ".MP4"));
}

TEST(SourceScan, KeepsNamesThatAreNotUtf8) {
    TempDir dir;
    const auto card = dir / "CARD";
    writeFile(card / "raw\xFF.MOV", "latin-1 byte");
    writeFile(card / "sub/RAW\xFF.mov", "same name but for case");
    writeFile(card / "ok.MOV", "fine");

    EXPECT_THAT(relatives(scan(card)), ElementsAre("ok.MOV", "raw\xFF.MOV", "sub/RAW\xFF.mov"));
    EXPECT_THAT(outputs(scan(card, true)),
                ElementsAre("ok.MOV", "raw\xFF_" + hashed("raw\xFF.MOV", 12) + ".MOV",
                            "RAW\xFF_" + hashed("sub/RAW\xFF.mov", 12) + ".mov"));
}

TEST(SourceScan, StopsOnUnreadableFoldersAndCancellation) {
    TempDir dir;
    const auto card = dir / "CARD";
    writeFile(card / "A/C0001.MOV", "clip");
    writeFile(card / "B/locked/C0002.MOV", "clip");
    std::filesystem::permissions(card / "B/locked", std::filesystem::perms::none);
    // Cards often carry a ".Trashes" that only the system can open; it is never entered.
    const auto tidy = dir / "TIDY";
    writeFile(tidy / "C0003.MOV", "clip");
    writeFile(tidy / ".Trashes/501/old.MOV", "clip");
    std::filesystem::permissions(tidy / ".Trashes", std::filesystem::perms::none);
    std::filesystem::create_directories(dir / "closed");
    std::filesystem::permissions(dir / "closed", std::filesystem::perms::none);

    {
        const WithoutPermissionOverride guard;
        if (canList(card / "B/locked")) {
            GTEST_SKIP() << "this process reads folders without permission";
        }
        try {
            scan(card);
            ADD_FAILURE() << "an unreadable folder was passed over";
        } catch (const std::filesystem::filesystem_error& error) {
            EXPECT_EQ(error.path1(), card / "B/locked");
            EXPECT_EQ(error.code().value(), EACCES);
        }
        EXPECT_THAT(relatives(scan(tidy)), ElementsAre("C0003.MOV"));
        const auto cannotRead = ThrowsMessage<QuayError>(StrEq("Cannot read the source folder."));
        EXPECT_THAT([&] { scan(dir / "closed"); }, cannotRead);
        EXPECT_THAT([&] { scan(dir / "missing"); }, cannotRead);
    }

    CancellationFlag flag;
    flag.cancel();
    EXPECT_THAT([&] { ImportEngine::scan(card, false, flag); },
                ThrowsMessage<QuayError>(
                    StrEq("Import cancelled. Completed files remain in the import folder.")));
}

TEST(SourceScan, VideoFilesResolveTheFolderAndListClipsInPlanOrder) {
    TempDir dir;
    writeFile(dir / "CARD/B/C0002.MXF", "clip");
    writeFile(dir / "CARD/A/C0001.mxf", "clip");
    writeFile(dir / "CARD/A/C0001.XML", "sidecar");
    std::filesystem::create_directory_symlink(dir / "CARD", dir / "mounted");

    EXPECT_THAT(ImportEngine::videoFiles(dir / "mounted/"),
                ElementsAreArray({dir / "CARD/A/C0001.mxf", dir / "CARD/B/C0002.MXF"}));
}

} // namespace
} // namespace quaymark
