#include "CameraTestSupport.h"
#include "TestFiles.h"
#include "ingest/camera/QuickTimeCameraReader.h"
#include "ingest/records/QuayError.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

namespace quaymark::test {
namespace {

namespace Reader = QuickTimeCameraReader;

class QuickTimeReaderTest : public ::testing::Test {
protected:
    std::optional<std::string> detectBytes(std::string_view bytes) {
        const std::filesystem::path file = dir_ / ("clip" + std::to_string(++count_) + ".mov");
        writeFile(file, bytes);
        return Reader::detect(file);
    }

    // The reader's message for bytes whose walk fails, or "" when it does not fail.
    std::string failureOf(std::string_view bytes) {
        try {
            (void)detectBytes(bytes);
        } catch (const QuayError& error) {
            EXPECT_EQ(error.kind(), QuayError::Kind::unavailable);
            return error.what();
        }
        return {};
    }

    TempDir dir_;
    int count_ = 0;
};

std::string canonMeta() {
    return makeModelMeta("Canon", "Canon EOS R5");
}

TEST_F(QuickTimeReaderTest, ReadsMakeAndModelFromMoovUdtaMeta) {
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(canonMeta())), "Canon EOS R5");
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(makeModelMeta("SONY", "ILCE-7SM3"))), "SONY ILCE-7SM3");
}

TEST_F(QuickTimeReaderTest, ReadsMetaDirectlyInsideMoov) {
    EXPECT_EQ(
        detectBytes(ftyp() + atom("moov", atom("mvhd", std::string(100, '\0')) + canonMeta())),
        "Canon EOS R5");
}

TEST_F(QuickTimeReaderTest, SearchesNoOtherPlace) {
    // At the top level.
    EXPECT_EQ(detectBytes(ftyp() + canonMeta() + atom("moov", "")), std::nullopt);
    // Inside a track, and inside a track's udta.
    EXPECT_EQ(detectBytes(ftyp() + atom("moov", atom("trak", canonMeta()))), std::nullopt);
    EXPECT_EQ(detectBytes(ftyp() + atom("moov", atom("trak", atom("udta", canonMeta())))),
              std::nullopt);
    // A udta at the top level.
    EXPECT_EQ(detectBytes(ftyp() + atom("udta", canonMeta())), std::nullopt);
}

TEST_F(QuickTimeReaderTest, ReadsEveryMoovAtTheTopLevel) {
    EXPECT_EQ(detectBytes(ftyp() + atom("moov", "") + atom("free", "xx") +
                          atom("moov", atom("udta", canonMeta()))),
              "Canon EOS R5");
}

TEST_F(QuickTimeReaderTest, SizeZeroRunsToTheEndOfTheFile) {
    const std::string moovPayload = atom("udta", canonMeta());
    EXPECT_EQ(detectBytes(ftyp() + be32(0) + "moov" + moovPayload), "Canon EOS R5");
    // Inside moov too: the udta runs to moov's end.
    EXPECT_EQ(detectBytes(ftyp() + atom("moov", be32(0) + "udta" + canonMeta())), "Canon EOS R5");
}

TEST_F(QuickTimeReaderTest, SixtyFourBitSizes) {
    const std::string moovPayload = atom("udta", canonMeta());
    // A 64-bit size of 0 runs to the end.
    EXPECT_EQ(detectBytes(ftyp() + be32(1) + "moov" + be64(0) + moovPayload), "Canon EOS R5");
    // An exact 64-bit size.
    EXPECT_EQ(detectBytes(ftyp() + atom64("moov", moovPayload)), "Canon EOS R5");
    // Below 16, or beyond the bytes remaining: the listing stops.
    EXPECT_EQ(detectBytes(ftyp() + be32(1) + "moov" + be64(15) + moovPayload), std::nullopt);
    EXPECT_EQ(
        detectBytes(ftyp() + be32(1) + "moov" + be64(16 + moovPayload.size() + 1) + moovPayload),
        std::nullopt);
}

TEST_F(QuickTimeReaderTest, ASizeBelowEightEndsTheListing) {
    const std::string moov = atom("moov", atom("udta", canonMeta()));
    // The atoms before the bad header are still used.
    EXPECT_EQ(detectBytes(ftyp() + moov + be32(4) + "junk" + std::string(32, 'x')), "Canon EOS R5");
    // Those after it are never reached.
    EXPECT_EQ(detectBytes(ftyp() + be32(4) + "junk" + moov), std::nullopt);
    // A size beyond the bytes remaining ends it as well.
    EXPECT_EQ(detectBytes(ftyp() + be32(1000) + "free" + moov), std::nullopt);
}

TEST_F(QuickTimeReaderTest, KeysCountOf4096IsReadAnd4097Skipped) {
    for (std::uint32_t count : {4096u, 4097u}) {
        std::vector<std::string> keys(count, "com.example.other");
        keys[count - 2] = "com.apple.quicktime.make";
        keys[count - 1] = "com.apple.quicktime.model";
        const std::string items = itemAtom(count - 1, "Canon") + itemAtom(count, "Canon EOS R5");
        const auto name = detectBytes(clipWithUdtaMeta(metaAtom(keys, items)));
        if (count == 4096) {
            EXPECT_EQ(name, "Canon EOS R5");
        } else {
            EXPECT_EQ(name, std::nullopt);
        }
    }
}

TEST_F(QuickTimeReaderTest, KeysReadingStopsAtTheCountAndAtBadEntries) {
    // The count says 1: the model key in entry 2 is not read.
    const std::string twoEntries = be32(8 + 24) + "mdta" + "com.apple.quicktime.make" +
                                   be32(8 + 25) + "mdta" + "com.apple.quicktime.model";
    const std::string items = itemAtom(1, "Canon") + itemAtom(2, "Canon EOS R5");
    const std::string hdlr = fullAtom("hdlr", std::string(25, '\0'));
    auto metaWith = [&](const std::string& keysPayload) {
        return fullAtom("meta", hdlr + fullAtom("keys", keysPayload) + atom("ilst", items));
    };
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(metaWith(be32(1) + twoEntries))), std::nullopt);
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(metaWith(be32(2) + twoEntries))), "Canon EOS R5");
    // An entry larger than 1024 bytes stops the reading of keys.
    const std::string large = be32(1025) + "mdta" + std::string(1017, 'k');
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(metaWith(be32(3) + large + twoEntries))), std::nullopt);
    // One of exactly 1024 is read (and counts as index 1).
    const std::string largest = be32(1024) + "mdta" + std::string(1016, 'k');
    const std::string shifted = itemAtom(3, "Canon EOS R5");
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(
                  fullAtom("meta", hdlr + fullAtom("keys", be32(3) + largest + twoEntries) +
                                       atom("ilst", shifted)))),
              "Canon EOS R5");
    // An entry smaller than 8 bytes stops it too.
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(metaWith(be32(3) + be32(4) + "mdta" + twoEntries))),
              std::nullopt);
    // A keys payload shorter than 8 bytes skips the meta.
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(
                  fullAtom("meta", hdlr + atom("keys", "1234567") + atom("ilst", items)))),
              std::nullopt);
}

TEST_F(QuickTimeReaderTest, ItemWithoutKeyIsIgnored) {
    const std::vector<std::string> keys = {"com.apple.quicktime.make", "com.apple.quicktime.model"};
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(
                  metaAtom(keys, itemAtom(1, "Canon") + itemAtom(7, "Canon EOS R5")))),
              std::nullopt);
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(
                  metaAtom(keys, itemAtom(0, "X") + itemAtom(7, "Y") + itemAtom(2, "EOS R5")))),
              "EOS R5");
}

TEST_F(QuickTimeReaderTest, OtherKeysAreIgnored) {
    const std::vector<std::string> keys = {"com.apple.quicktime.software",
                                           "com.apple.quicktime.model"};
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(metaAtom(keys, itemAtom(1, "Camera")))), std::nullopt);
}

TEST_F(QuickTimeReaderTest, ShortKeyNamesAndCapitalsAreAccepted) {
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(
                  metaAtom({"make", "model"}, itemAtom(1, "SONY") + itemAtom(2, "ILCE-7SM3")))),
              "SONY ILCE-7SM3");
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(
                  metaAtom({"COM.Apple.QuickTime.MAKE", "com.apple.quicktime.MODEL"},
                           itemAtom(1, "Apple") + itemAtom(2, "iPhone 15 Pro")))),
              "Apple iPhone 15 Pro");
}

TEST_F(QuickTimeReaderTest, MakeWithoutModelDoesNotEndTheSearch) {
    // First meta (directly in moov): a make only. Second (in udta): a model only. Make and model
    // start empty again for the second, so the first make is not joined to it.
    const std::string first = makeModelMeta("SONY", std::nullopt);
    const std::string second = makeModelMeta(std::nullopt, "Canon EOS R5");
    EXPECT_EQ(detectBytes(ftyp() + atom("moov", first + atom("udta", second))), "Canon EOS R5");
    // A first meta that names a camera ends the search.
    EXPECT_EQ(detectBytes(ftyp() +
                          atom("moov", makeModelMeta("SONY", "ILCE-7SM3") + atom("udta", second))),
              "SONY ILCE-7SM3");
}

TEST_F(QuickTimeReaderTest, LaterValuesReplaceEarlierOnes) {
    const std::vector<std::string> keys = {"com.apple.quicktime.make", "com.apple.quicktime.model",
                                           "model"};
    // Two items for the model, and two data atoms in one item for the make.
    const std::string items = atom(be32(1), dataAtom("Nikon") + dataAtom("SONY")) +
                              itemAtom(2, "First") + itemAtom(3, "ILCE-7SM3");
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(metaAtom(keys, items))), "SONY ILCE-7SM3");
    // An empty later value replaces too, leaving no model.
    EXPECT_EQ(
        detectBytes(clipWithUdtaMeta(metaAtom(keys, itemAtom(2, "ILCE-7SM3") + itemAtom(3, "")))),
        std::nullopt);
}

TEST_F(QuickTimeReaderTest, ValuesAreTrimmedOfControlCharacters) {
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(
                  makeModelMeta(std::string("\0\0Canon\x01", 8), std::string("EOS R5\0\0\0", 9)))),
              "Canon EOS R5");
    // Format characters (U+FEFF) are control characters in the sense of the Part.
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(makeModelMeta("\xEF\xBB\xBFSONY", "ILCE-7SM3\x7F"))),
              "SONY ILCE-7SM3");
}

TEST_F(QuickTimeReaderTest, InvalidUtf8IsRepaired) {
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(makeModelMeta("Ca\xFFnon", "R\xC3"))),
              "Ca\xEF\xBF\xBDnon R\xEF\xBF\xBD");
}

TEST_F(QuickTimeReaderTest, DataPayloadLimits) {
    const std::vector<std::string> keys = {"com.apple.quicktime.model"};
    // 1016 bytes of value (payload 1024) are read.
    const std::string longMake(1016, 'M');
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(makeModelMeta(longMake, "X1"))), longMake + " X1");
    // 1017 bytes (payload 1025) are not.
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(makeModelMeta(longMake + "M", "X1"))), "X1");
    // A data payload shorter than 8 bytes is skipped; a later good one is used.
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(
                  metaAtom(keys, atom(be32(1), atom("data", "1234567") + dataAtom("Z9"))))),
              "Z9");
    // Children of other types are skipped.
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(
                  metaAtom(keys, atom(be32(1), atom("name", be32(1) + be32(0) + "Q7"))))),
              std::nullopt);
}

TEST_F(QuickTimeReaderTest, MetaWithoutVersionAndFlagsIsNotRead) {
    const std::string hdlr = fullAtom("hdlr", std::string(25, '\0'));
    const std::vector<std::string> keys = {"com.apple.quicktime.model"};
    const std::string children = hdlr + keysAtom(keys) + atom("ilst", itemAtom(1, "EOS R5"));
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(atom("meta", children))), std::nullopt);
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(fullAtom("meta", children))), "EOS R5");
    // A meta whose payload is shorter than the word is skipped.
    EXPECT_EQ(detectBytes(clipWithUdtaMeta(atom("meta", "abc"))), std::nullopt);
}

TEST_F(QuickTimeReaderTest, EndOfFileInsideADeclaredAtomFails) {
    // An extended size announced in the last 8 bytes of the file: its 8 bytes are not there.
    EXPECT_EQ(failureOf(ftyp() + be32(1) + "moov"), "Cannot read camera metadata");
    EXPECT_EQ(failureOf(ftyp() + be32(1) + "moov" + "1234"), "Cannot read camera metadata");

    // A clip that is shorter than the size it was measured with (it shrank while read).
    const std::filesystem::path file = dir_ / "shrunk.mov";
    const std::string clip = clipWithUdtaMeta(canonMeta());
    writeFile(file, clip.substr(0, clip.size() - 20));
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    try {
        (void)Reader::detect(fd, clip.size());
        ADD_FAILURE() << "no failure";
    } catch (const QuayError& error) {
        EXPECT_STREQ(error.what(), "Cannot read camera metadata");
        EXPECT_EQ(error.kind(), QuayError::Kind::unavailable);
    }
    ::close(fd);
}

TEST_F(QuickTimeReaderTest, OffsetsBeyondAFileOffsetAreAnInvalidExtent) {
    // A 64-bit atom size that moves the next header beyond the largest file offset; only a
    // descriptor measured larger than any real file can get there.
    const std::filesystem::path file = dir_ / "huge.mov";
    writeFile(file, be32(1) + "free" + be64(0x8000'0000'0000'0000ull) + std::string(16, '\0'));
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    try {
        (void)Reader::detect(fd, 0xFFFF'FFFF'FFFF'FFFFull);
        ADD_FAILURE() << "no failure";
    } catch (const QuayError& error) {
        EXPECT_STREQ(error.what(), "Invalid metadata extent");
    }
    ::close(fd);
}

TEST_F(QuickTimeReaderTest, SmallFilesDirectoriesLinksAndMissingFilesYieldNothing) {
    EXPECT_EQ(detectBytes("1234567"), std::nullopt);
    EXPECT_EQ(detectBytes(""), std::nullopt);
    EXPECT_EQ(detectBytes("12345678"), std::nullopt);

    std::filesystem::create_directory(dir_ / "folder.mov");
    EXPECT_EQ(Reader::detect(dir_ / "folder.mov"), std::nullopt);

    const std::filesystem::path target = dir_ / "target.mov";
    writeFile(target, clipWithUdtaMeta(canonMeta()));
    ASSERT_EQ(Reader::detect(target), "Canon EOS R5");
    std::filesystem::create_symlink(target, dir_ / "link.mov");
    EXPECT_EQ(Reader::detect(dir_ / "link.mov"), std::nullopt);
    // A link in the middle of the path is followed; only the last component is refused.
    std::filesystem::create_directory_symlink(dir_.path(), dir_ / "folder-link");
    EXPECT_EQ(Reader::detect(dir_ / "folder-link" / "target.mov"), "Canon EOS R5");

    EXPECT_EQ(Reader::detect(dir_ / "missing.mov"), std::nullopt);
}

TEST_F(QuickTimeReaderTest, AFifoDoesNotBlockTheReader) {
    const std::filesystem::path fifo = dir_ / "pipe.mov";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Reader::detect(fifo), std::nullopt);
}

TEST_F(QuickTimeReaderTest, ClosesTheFileOnEveryPath) {
    const auto openDescriptors = [] {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry :
             std::filesystem::directory_iterator("/proc/self/fd")) {
            ++count;
        }
        return count;
    };
    const std::size_t before = openDescriptors();
    (void)detectBytes(clipWithUdtaMeta(canonMeta()));
    (void)detectBytes("1234567");
    (void)detectBytes(ftyp());
    (void)failureOf(ftyp() + be32(1) + "moov");
    EXPECT_EQ(openDescriptors(), before);
}

class ReadCounter final : public Reader::ReadObserver {
public:
    void willRead(std::uint64_t offset, std::size_t count) override {
        ++reads;
        bytes += count;
        largest = std::max(largest, count);
        furthest = std::max<std::uint64_t>(furthest, offset + count);
    }
    std::size_t reads = 0;
    std::uint64_t bytes = 0;
    std::size_t largest = 0;
    std::uint64_t furthest = 0;
};

TEST_F(QuickTimeReaderTest, ReadsOnlyHeadersAndSmallValues) {
    // A clip followed by a 1 GiB media atom (sparse): only its header is read.
    const std::filesystem::path file = dir_ / "large.mov";
    const std::string clip = clipWithUdtaMeta(canonMeta());
    const std::uint64_t mediaSize = 1ull << 30;
    writeFile(file, be32(1) + "mdat" + be64(mediaSize));
    {
        const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(mediaSize)), 0);
        ASSERT_EQ(::write(fd, clip.data(), clip.size()), static_cast<ssize_t>(clip.size()));
        ::close(fd);
    }
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ReadCounter counter;
    EXPECT_EQ(Reader::detect(fd, mediaSize + clip.size(), &counter), "Canon EOS R5");
    ::close(fd);
    EXPECT_LE(counter.bytes, 1024u);
    EXPECT_LE(counter.largest, 64u);
    EXPECT_LE(counter.reads, 40u);
}

TEST_F(QuickTimeReaderTest, ReadsFfmpegClips) {
    if (!findFfmpeg()) {
        GTEST_SKIP() << "ffmpeg is not installed (Debian package ffmpeg); clips cannot be made";
    }
    ASSERT_TRUE(makeClip(dir_ / "keys.mov", {"-movflags", "use_metadata_tags", "-metadata",
                                             "com.apple.quicktime.make=Canon", "-metadata",
                                             "com.apple.quicktime.model=Canon EOS R5"}));
    EXPECT_EQ(Reader::detect(dir_ / "keys.mov"), "Canon EOS R5");
    ASSERT_TRUE(makeClip(dir_ / "keys.mp4", {"-movflags", "use_metadata_tags", "-metadata",
                                             "com.apple.quicktime.make=Apple", "-metadata",
                                             "com.apple.quicktime.model=iPhone 15 Pro"}));
    EXPECT_EQ(Reader::detect(dir_ / "keys.mp4"), "Apple iPhone 15 Pro");
    // Classic udta strings (©mak, ©mod) are not keys/ilst metadata: left to the fallback.
    ASSERT_TRUE(
        makeClip(dir_ / "classic.mov", {"-metadata", "make=SONY", "-metadata", "model=ILCE-7SM3"}));
    EXPECT_EQ(Reader::detect(dir_ / "classic.mov"), std::nullopt);
    ASSERT_TRUE(makeClip(dir_ / "plain.mov", {}));
    EXPECT_EQ(Reader::detect(dir_ / "plain.mov"), std::nullopt);
}

} // namespace
} // namespace quaymark::test
