// SPDX-License-Identifier: GPL-3.0-or-later
// The catalog's targets: recording a 5,000-file import, looking a card up among 200,000
// catalogued files, and the fingerprint of a 2,000-file card. Run by hand:
//   build/default/bench/catalog_bench [FOLDER]
#include "ingest/catalog/CardStatus.h"
#include "ingest/catalog/Catalog.h"
#include "ingest/engine/ImportRun.h"
#include "ingest/records/Sha256.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace quaymark;
using Seconds = std::chrono::duration<double>;

namespace {

catalog::CopyRecord importOf(int index, int files, const fs::path& folder) {
    catalog::CopyRecord copy;
    copy.card.volumeUuid = "CARD-" + std::to_string(index);
    copy.source = "/media/card" + std::to_string(index);
    copy.started = Timestamp(std::chrono::hours(490'000 + index));
    copy.finished = copy.started + std::chrono::minutes(20);
    copy.verified = copy.finished;
    copy.options.cameraName = "FX3";
    copy.folder = folder / std::to_string(index);
    copy.destination.label = "RAID_A";
    copy.destination.driveKey = "wwn:bench";
    for (int i = 0; i < files; ++i) {
        const std::string name = "PRIVATE/M4ROOT/CLIP/C" + std::to_string(i) + ".MP4";
        copy.files.push_back(FileReceipt{name, 1'000'000 + i, Sha256::hex(name + copy.source),
                                         copy.started, name, std::string(32, 'a')});
    }
    copy.card.listing = catalog::listingDigest(catalog::cardFiles(copy.files));
    copy.card.fileCount = files;
    return copy;
}

template <typename Work>
double timed(Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return Seconds(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const fs::path folder =
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "quaymark-catalog-bench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    catalog::Catalog catalog(folder / "catalog.sqlite3");

    double slowest = 0;
    double total = 0;
    for (int index = 0; index < 40; ++index) {
        const auto copy = importOf(index, 5'000, folder);
        const double seconds = timed([&] { catalog.record(copy); });
        slowest = std::max(slowest, seconds);
        total += seconds;
    }
    std::printf("record a 5,000-file import: mean %.3f s, slowest %.3f s (target < 1 s)\n",
                total / 40, slowest);

    const auto wanted = importOf(17, 5'000, folder);
    std::vector<catalog::CardFile> card = catalog::cardFiles(wanted.files);
    card.resize(2'000);
    catalog::CardLookup lookup;
    const double lookupSeconds = timed(
        [&] { lookup = catalog::lookUpCard(catalog.history(wanted.card, wanted.source), card); });
    std::printf("look a card up among 200,000 files: %.1f ms, %s (target < 50 ms)\n",
                lookupSeconds * 1000, catalog::toString(lookup.kind));

    const fs::path source = folder / "CARD";
    for (int i = 0; i < 2'000; ++i) {
        const fs::path clip =
            source / ("DCIM/" + std::to_string(100 + i / 500)) / ("C" + std::to_string(i) + ".MP4");
        fs::create_directories(clip.parent_path());
        std::ofstream(clip) << i;
    }
    std::string listing;
    const double listingSeconds = timed([&] {
        listing = catalog::listingDigest(
            catalog::cardFiles(ImportEngine::plannedFiles(source, true, CancellationFlag{})));
    });
    std::printf("fingerprint of a 2,000-file card: %.1f ms (target < 200 ms)\n",
                listingSeconds * 1000);
    fs::remove_all(folder);
    return 0;
}
