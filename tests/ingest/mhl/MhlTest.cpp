// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportFixture.h"
#include "ingest/copy/FileDigest.h"
#include "ingest/engine/ReceiptCheck.h"
#include "ingest/mhl/C4Id.h"
#include "ingest/mhl/DirectoryHashes.h"
#include "ingest/mhl/MhlDocuments.h"
#include "ingest/mhl/MhlHistory.h"
#include "ingest/records/IsoDate.h"
#include "ingest/records/Xxh128.h"

#include <array>
#include <regex>
#include <string_view>

namespace quaymark::test {
namespace {

// Published vectors: XXH3-128 from xxHash's own sanity vectors (empty input, "abc"), and the
// 16 MiB of 'X' that spans two 8 MiB blocks; C4 IDs from the C4 reference implementation
// (Avalanche-io/c4: the empty string and "foo").
TEST(MhlHashes, MatchPublishedVectors) {
    EXPECT_EQ(Xxh128::hex(""), "99aa06d3014798d86001c324468d497f");
    EXPECT_EQ(Xxh128::hex("abc"), "06b05ab6733a618578af5f94892f3950");
    EXPECT_EQ(AscMhl::c4Id(""),
              "c459dsjfscH38cYeXXYogktxf4Cd9ibshE3BHUo6a58hBXmRQdZrAkZzsWcbWtDg5oQ"
              "stpDuni4Hirj75GEmTc1sFT");
    EXPECT_EQ(AscMhl::c4Id("foo"), "c45xZeXwMSpqXjpDumcHMA6mhoAmGHkUo7r9WmN2UgSEQzj9KjgseaQdkEJ11fG"
                                   "b5S1WEENcV3q8RFWwEeVpC7Fjk2");

    // A file read in blocks, the XXH3 of each large block beside its SHA-256.
    TempDir folder;
    writeFile(folder / "X", std::string(16 * 1024 * 1024, 'X'));
    EXPECT_EQ(ImportEngine::hashes(folder / "X", CancellationFlag{}).xxh128,
              "f12a2d9fe5ea3de9761e87524f56c22d");
}

// The published layout: the tools cannot read a history whose roothash is missing.
constexpr std::string_view publishedManifest = R"(<?xml version="1.0" encoding="UTF-8"?>
<hashlist version="2.0" xmlns="urn:ASC:MHL:v2.0">
  <creatorinfo>
    <creationdate>2025-03-01T09:30:05+00:00</creationdate>
    <hostname>cart-1</hostname>
    <tool version="0.1.0">Quaymark</tool>
  </creatorinfo>
  <processinfo>
    <process>transfer</process>
    <roothash>
      <content>
        <xxh128 hashdate="2025-03-01T09:30:05+00:00">9f7ac452354997c0fe03ef703c2bb0cb</xxh128>
      </content>
      <structure>
        <xxh128 hashdate="2025-03-01T09:30:05+00:00">1f54c6e3c316b001db25fca678350495</xxh128>
      </structure>
    </roothash>
    <ignore>
      <pattern>.DS_Store</pattern>
      <pattern>ascmhl</pattern>
      <pattern>ascmhl/</pattern>
    </ignore>
  </processinfo>
  <hashes>
    <hash>
      <path size="12" lastmodificationdate="2025-02-28T18:00:00+00:00">A&amp;B/C0001.MP4</path>
      <xxh128 action="verified" hashdate="2025-03-01T09:30:05+00:00">aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa</xxh128>
    </hash>
    <hash>
      <path size="0">&lt;odd&gt;.MOV</path>
      <xxh128 action="original" hashdate="2025-03-01T09:30:05+00:00">bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb</xxh128>
    </hash>
    <directoryhash>
      <path>A&amp;B</path>
      <content>
        <xxh128 hashdate="2025-03-01T09:30:05+00:00">c707146a0e9916f48fd5111c1b20ef1f</xxh128>
      </content>
      <structure>
        <xxh128 hashdate="2025-03-01T09:30:05+00:00">7e6437c9f4d906448a24bc7795a86ac9</xxh128>
      </structure>
    </directoryhash>
  </hashes>
</hashlist>
)";

TEST(MhlDocuments, ManifestInThePublishedForm) {
    AscMhl::Manifest manifest;
    manifest.created = parseIsoDate("2025-03-01T09:30:05Z");
    manifest.hostName = "cart-1";
    manifest.toolName = "Quaymark";
    manifest.toolVersion = "0.1.0";
    manifest.ignorePatterns = {".DS_Store", "ascmhl", "ascmhl/"};
    manifest.hashes = {
        {"A&B/C0001.MP4", 12, parseIsoDate("2025-02-28T18:00:00Z"), std::string(32, 'a'),
         AscMhl::Action::verified},
        {"<odd>.MOV", 0, std::nullopt, std::string(32, 'b'), AscMhl::Action::original},
    };
    EXPECT_EQ(AscMhl::writeManifest(manifest), publishedManifest);
}

// Values the ASC's reference tool (ascmhl 1.1.0, `ascmhl create -h xxh128`) wrote for these
// trees: content and structure hashes of every folder, the root's first, then children before
// their parents. An empty folder is one holding only an ignored file; equal files count once
// each.
TEST(MhlDocuments, DirectoryHashesAreTheReferenceToolsOwn) {
    using Hashes = std::vector<std::array<std::string, 3>>;
    const auto hashesOf = [](const std::vector<AscMhl::HashEntry>& files) {
        Hashes hashes;
        for (const auto& folder : AscMhl::directoryHashes(files, {".DS_Store"})) {
            hashes.push_back({folder.path, folder.content, folder.structure});
        }
        return hashes;
    };
    const auto file = [](std::string path, std::string bytes) {
        return AscMhl::HashEntry{std::move(path), 0, std::nullopt, Xxh128::hex(bytes)};
    };
    EXPECT_EQ(hashesOf({file("one.txt", "one")}), (Hashes{{".", "c6f40e213b007325a80dc3a44258f4e4",
                                                           "775e135d41d93128d672162ea60cb618"}}));
    EXPECT_EQ(
        hashesOf({file("CLIP/A001.MOV", "alpha"), file("CLIP/A002.MOV", "beta"),
                  file("notes.txt", "n\n"), file("CLIP/SUB/x.bin", "x"),
                  file("EMPTY/.DS_Store", "ignored")}),
        (Hashes{
            {".", "a89814a9df12ff867199e9bc6eb60704", "0e8eaf6212dadbdd04aaefd18740b42a"},
            {"CLIP/SUB", "2cf122d639d0a316eaa9235a04545692", "ed95fc3f4e9957a0ed50ae9992e6127e"},
            {"CLIP", "327e55d254b357ae87da7d561fbcd767", "697361ec6251464b64b38b7ada22f555"},
            {"EMPTY", "99aa06d3014798d86001c324468d497f", "99aa06d3014798d86001c324468d497f"}}));
    EXPECT_EQ(
        hashesOf({file("a.txt", "same"), file("b.txt", "same"), file("d/c.txt", "same")}),
        (Hashes{{".", "daaf8f51ae042111289649e7a2424cc0", "1253d54c728207a7595504d896a62bb2"},
                {"d", "3ac528c8284f803a232392ea076c62ef", "a6444ed1afccd1bfd0835f5eb31a2906"}}));
}

TEST(MhlDocuments, ChainInItsOwnNamespaceOnly) {
    // Another namespace is not a history, whatever its element names.
    EXPECT_THROW(AscMhl::readChain("<ascmhldirectory xmlns=\"urn:other\"/>"), std::runtime_error);
    EXPECT_THROW(AscMhl::readChain("<ascmhldirectory xmlns=\"urn:ASC:MHL:DIRECTORY:v2.0\">"
                                   "<hashlist sequencenr=\"None\"/></ascmhldirectory>"),
                 std::runtime_error);
}

// A generation as the ASC's own tool writes it, reduced to its hashes: its paths are names,
// spaces included, a directoryhash is no file, and a failed entry is what a file had become, not
// its hash.
TEST(MhlDocuments, ReadsAGenerationTheAscToolWrote) {
    const auto recorded = AscMhl::readManifest(R"(<?xml version="1.0" encoding="UTF-8"?>
<hashlist version="2.0" xmlns="urn:ASC:MHL:v2.0">
  <hashes>
    <hash>
      <path size="2" lastmodificationdate="2026-12-06T16:19:41+00:00"> dir / inner .txt</path>
      <xxh128 action="original">8028a127a9a16da01fe9603eafb243f7</xxh128>
    </hash>
    <directoryhash>
      <path lastmodificationdate="2026-12-06T16:19:41+00:00"> dir </path>
      <content><xxh128>8028a127a9a16da01fe9603eafb243f7</xxh128></content>
    </directoryhash>
    <hash>
      <path size="8">CLIPS/A001.MOV</path>
      <xxh128 action="failed">e9dc4447e13ba9d0e4d0b75fd37e54c8</xxh128>
    </hash>
    <hash>
      <path size="2">trail.txt </path>
      <xxh128 action="original">ccd433e50931cf855b19ef905838a84a</xxh128>
    </hash>
  </hashes>
</hashlist>
)");
    const std::map<std::string, std::string> expected = {
        {" dir / inner .txt", "8028a127a9a16da01fe9603eafb243f7"},
        {"trail.txt ", "ccd433e50931cf855b19ef905838a84a"},
    };
    EXPECT_EQ(recorded.xxh128, expected);
}

using MhlImportTest = ImportFixture;

TEST_F(MhlImportTest, VerifiedImportWritesOneGenerationWithTheCopiesHashes) {
    makeCard(3);
    writeFile(source / "Sidecar & notes.txt", "take 3 < take 4");
    const ImportResult result = run();
    const fs::path history = result.destination / "ascmhl";
    EXPECT_TRUE(result.warnings.empty());

    const std::vector<std::string> files = listTree(history);
    ASSERT_EQ(files.size(), 2u);
    const std::string name = result.destination.filename().string();
    EXPECT_TRUE(
        std::regex_match(files[0], std::regex("0001_" + name + R"(_\d{4}-\d\d-\d\d_\d{6}Z\.mhl)")))
        << files[0];
    EXPECT_EQ(files[1], "ascmhl_chain.xml");

    // The chain and every hash are checked by the receipt check; here the generation's form.
    const std::string manifest = readFile(history / files[0]);
    EXPECT_EQ(AscMhl::readChain(readFile(history / files[1]))[0].path, files[0]);
    const auto recorded = AscMhl::readManifest(manifest);
    EXPECT_EQ(recorded.xxh128.size(), 4u) << "no history file hashes itself";
    EXPECT_EQ(recorded.xxh128.at("Sidecar & notes.txt"), Xxh128::hex("take 3 < take 4"));
    EXPECT_NE(manifest.find("<pattern>_QUAYMARK_VERIFIED.json</pattern>"), std::string::npos);
    EXPECT_NE(manifest.find(R"(action="original")"), std::string::npos);
    EXPECT_EQ(manifest.find(R"(action="verified")"), std::string::npos);
    expectNoTemporaries(result.destination);
}

TEST_F(MhlImportTest, SourceHistoryIsCarriedAndTheNextGenerationComparedWithIt) {
    writeFile(source / "Clips/A001.MOV", "same as on set");
    writeFile(source / "Clips/A002.MOV", "changed since the card was hashed");
    writeFile(source / "Clips/A003.MOV", "new on the card");
    AscMhl::Manifest earlier;
    earlier.created = parseIsoDate("2025-01-01T08:00:00Z");
    earlier.hostName = "camera";
    earlier.toolName = "camera";
    earlier.ignorePatterns = {".DS_Store", "ascmhl", "ascmhl/", "*.MOV"};
    earlier.hashes = {{"Clips/A001.MOV", 14, std::nullopt, Xxh128::hex("same as on set")},
                      {"Clips/A002.MOV", 33, std::nullopt, Xxh128::hex("as it was on set")}};
    const std::string first = AscMhl::writeManifest(earlier);
    writeFile(source / "ascmhl/0001_CARD_2025-01-01_080000Z.mhl", first);
    writeFile(source / "ascmhl/ascmhl_chain.xml",
              AscMhl::writeChain({{1, "0001_CARD_2025-01-01_080000Z.mhl", AscMhl::c4Id(first)}}));
    // Not documents of the history: media like any other.
    writeFile(source / "ascmhl/extra/A002.MP4", "kept in the history folder");
    writeFile(source / "ascmhl/notes.txt", "a note");

    const ImportResult result = run();
    const fs::path history = result.destination / "ascmhl";
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0], "ASC MHL: Clips/A002.MOV differs from the hash in the card's "
                                  "own history; the copy matches the card as it was read.");
    EXPECT_EQ(readFile(history / "0001_CARD_2025-01-01_080000Z.mhl"), first);

    const auto chain = AscMhl::readChain(readFile(history / "ascmhl_chain.xml"));
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(chain[0].path, "0001_CARD_2025-01-01_080000Z.mhl");
    EXPECT_EQ(chain[1].sequence, 2);
    const std::string second = readFile(history / chain[1].path);

    const auto action = [&](const std::string& path) {
        const auto at = second.find(">" + path + "</path>");
        const auto start = second.find("action=\"", at) + 8;
        return second.substr(start, second.find('"', start) - start);
    };
    EXPECT_EQ(action("Clips/A001.MOV"), "verified");
    EXPECT_EQ(action("Clips/A002.MOV"), "failed");
    EXPECT_EQ(action("Clips/A003.MOV"), "original");
    EXPECT_EQ(second.find("<pattern>*.MOV</pattern>"), std::string::npos) << "patterns carried";

    const ImportReceipt receipt =
        decodeReceipt(readFile(result.destination / "_QUAYMARK_VERIFIED.json"));
    EXPECT_EQ(receipt.files.at(3).path + " " + receipt.files.at(4).path,
              "ascmhl/extra/A002.MP4 ascmhl/notes.txt");
}

// A card's history that cannot be carried as it is: the import still ends verified, with its
// files as media and a warning, and never chains a generation that is not there and intact.
TEST_F(MhlImportTest, DamagedCardHistoriesNeverBreakTheImportOrItsChain) {
    const std::string generation = "0001_CARD_2025-01-01_080000Z.mhl";
    AscMhl::Manifest earlier;
    earlier.created = parseIsoDate("2025-01-01T08:00:00Z");
    earlier.hashes = {{"A001.MOV", 5, std::nullopt, Xxh128::hex("clip1")}};
    const std::string text = AscMhl::writeManifest(earlier);
    const std::string c4 = AscMhl::c4Id(text);
    struct Case {
        std::string chain;
        std::vector<std::int64_t> sequences; // of the import's chain
        std::string warning;
    };
    const std::vector<Case> cases = {
        {AscMhl::writeChain(
             {{1, generation, c4}, {2, "../outside.mhl", c4}, {3, "0003_GONE.mhl", c4}}),
         {1, 2},
         "ASC MHL: the card's history lacks its generation ../outside.mhl; it is left out of the "
         "chain."},
        {AscMhl::writeChain({{9223372036854775807, generation, c4}}),
         {2},
         "ASC MHL: the card's history numbers its generation " + generation +
             " 9223372036854775807, which is damaged; it is left out of the chain."},
        {"not xml", {2}, "ASC MHL: the card's chain cannot be read ("},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.warning);
        fs::remove_all(source.path());
        writeFile(source / "A001.MOV", "clip1");
        writeFile(source / "ascmhl" / generation, text);
        writeFile(source / "ascmhl/ascmhl_chain.xml", c.chain);
        const ImportResult result = run();
        EXPECT_TRUE(!result.warnings.empty() && result.warnings[0].starts_with(c.warning));
        std::vector<std::int64_t> sequences;
        for (const auto& entry :
             AscMhl::readChain(readFile(result.destination / "ascmhl/ascmhl_chain.xml"))) {
            sequences.push_back(entry.sequence);
        }
        EXPECT_EQ(sequences, c.sequences);
        EXPECT_TRUE(ImportEngine::readClaims(result.destination).historyProblems.empty());
        // Broken after the import, it still leaves the receipt to be checked.
        writeFile(result.destination / "ascmhl/ascmhl_chain.xml", "not xml");
        EXPECT_EQ(ImportEngine::readClaims(result.destination).historyProblems.size(), 1u);
    }

    // A document too large to be one, or a file where the history folder goes.
    for (const auto& [name, size] :
         {std::pair{"ascmhl/0002_BIG.mhl", (64 << 20) + 1}, std::pair{"ascmhl", 10}}) {
        SCOPED_TRACE(name);
        fs::remove_all(source.path());
        writeFile(source / "A001.MOV", "clip1");
        writeFile(source / name, std::string(static_cast<size_t>(size), 'x'));
        const ImportResult result = run();
        EXPECT_TRUE(result.warnings.size() == 1 && result.warnings[0].starts_with("ASC MHL"));
        EXPECT_EQ(readFile(result.destination / name).size(), static_cast<size_t>(size));
        EXPECT_EQ(result.fileCount, 2);
    }
}

TEST_F(MhlImportTest, NoHistoryWithoutAVerifiedImportOrWhenSwitchedOff) {
    makeCard(2);
    environment.freeSpace = [](const fs::path&) { return std::optional<std::int64_t>(0); };
    EXPECT_TRUE(runFailure().starts_with("Not enough free space."));
    EXPECT_FALSE(fs::exists(onlyImportFolder() / "ascmhl"));
    fs::remove_all(onlyImportFolder());

    environment = ImportEngine::systemEnvironment();
    options.writeMhl = false;
    EXPECT_FALSE(fs::exists(run().destination / "ascmhl"));
}

} // namespace
} // namespace quaymark::test
