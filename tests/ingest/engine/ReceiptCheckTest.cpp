// SPDX-License-Identifier: GPL-3.0-or-later
#include "ingest/engine/ReceiptCheck.h"

#include "ImportFixture.h"
#include "ingest/copy/DurableWrite.h"

#include <fstream>

namespace quaymark::test {
namespace {

using ImportEngine::ReceiptFinding;
using State = ReceiptFinding::State;

class ReceiptCheckTest : public ImportFixture {
protected:
    // Every finding that is not a match, as "state path".
    std::vector<std::string> problems(const fs::path& folder) {
        const ImportEngine::FolderClaims claims = ImportEngine::readClaims(folder);
        std::vector<std::string> found;
        ImportEngine::checkFolder(
            folder, claims, cancellation,
            [&](const ReceiptFinding& finding) {
                if (finding.state != State::matches) {
                    found.push_back(std::string(ImportEngine::stateName(finding.state)) + " " +
                                    finding.path);
                }
            },
            [](std::size_t) {});
        return found;
    }
};

// Each kind of damage a drive suffers after the import is named for the file it touched, and
// nothing outside the folder is read.
TEST_F(ReceiptCheckTest, EachDamageIsFoundForItsFile) {
    options.videosOnly = false;
    makeCard(4);
    run();
    const fs::path folder = onlyImportFolder();
    const std::string a = "DCIM/100/C0000.MP4", b = "DCIM/101/C0001.MP4", c = "DCIM/100/C0002.MP4",
                      d = "DCIM/101/C0003.MP4";
    EXPECT_TRUE(problems(folder).empty());

    {
        std::fstream clip(folder / b, std::ios::in | std::ios::out | std::ios::binary);
        clip.seekp(100);
        clip.put('\x7f');
    }
    fs::remove(folder / d);
    writeFile(folder / "DCIM/stray.MP4", "x");
    fs::rename(folder / "DCIM/100", folder / "DCIM/moved");
    fs::create_directory_symlink(source / "DCIM/100", folder / "DCIM/100");

    ImportReceipt receipt =
        decodeReceipt(readDocument(folder / ImportDocuments::receipt, 1 << 20, ""));
    receipt.files.push_back(receipt.files.front());
    receipt.files.back().path = "../outside.MP4";
    durableWrite(encodeReceipt(receipt), folder / ImportDocuments::receipt);

    auto found = problems(folder);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{
                         "changed " + a, "changed " + c, "changed " + b, "invalid ../outside.MP4",
                         "mhl-differs " + b, "mhl-missing " + d, "missing " + d,
                         "unlisted DCIM/100", "unlisted DCIM/moved/C0000.MP4",
                         "unlisted DCIM/moved/C0002.MP4", "unlisted DCIM/stray.MP4"}))
        << "a link where a folder was is not the copy, even though the card's clips match";
}

// The history is proof only while its manifests are the ones its chain names.
TEST_F(ReceiptCheckTest, AnAlteredHistoryGenerationIsFound) {
    makeCard(2);
    run();
    const fs::path folder = onlyImportFolder();
    fs::path manifest;
    for (const auto& entry : fs::directory_iterator(folder / "ascmhl")) {
        if (entry.path().extension() == ".mhl") {
            manifest = entry.path();
        }
    }
    ASSERT_FALSE(manifest.empty());
    std::ofstream(manifest, std::ios::app) << "\n";
    EXPECT_EQ(problems(folder),
              std::vector<std::string>{"mhl-altered ascmhl/" + manifest.filename().string()});
}

} // namespace
} // namespace quaymark::test
