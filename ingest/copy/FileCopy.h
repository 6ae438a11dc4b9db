// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FolderBeneath.h"
#include "ProgressTracker.h"
#include "ReadAhead.h"
#include "UniqueFd.h"
#include "VolumeGuard.h"
#include "ingest/records/CancellationFlag.h"
#include "ingest/records/ImportRecords.h"
#include "ingest/records/Sha256.h"
#include "ingest/records/Xxh128.h"

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

namespace quaymark::ImportEngine {

// What every copy of one run shares.
struct CopyContext {
    std::filesystem::path importFolder;
    const CancellationFlag& cancellation;
    // Set by the run itself to stop sibling copies after a failure.
    const CancellationFlag& localCancel;
    const VolumeGuard& sourceGuard;
    const VolumeGuard& targetGuard;
    ProgressTracker& tracker;
};

// A source file's digests as it was read, and the bytes read.
struct SourceDigests {
    std::string sha256;
    std::string xxh128; // empty when XXH3-128 is switched off
    std::int64_t bytes = 0;
};

// The source side of a copy: opened without following a link and checked against the plan,
// then read block by block and hashed once, whatever the number of destinations.
class CopySource {
public:
    // `depth`: blocks in flight, as for ReadAhead. Without `withXxh128` the caller computes
    // XXH3-128 itself, and digests() leaves it empty.
    CopySource(const SourceFile& file, size_t depth, bool withXxh128 = true);
    ~CopySource();
    CopySource(const CopySource&) = delete;
    CopySource& operator=(const CopySource&) = delete;

    // The next block, already hashed; size 0 at the end, once the file proved unchanged.
    // Throws on a read error or a changed source.
    ReadAhead::Block next();
    // After the end.
    SourceDigests digests();

private:
    const SourceFile& file_;
    UniqueFd fd_;
    struct stat before_ {};
    std::optional<ReadAhead> reader_;
    Sha256 sha_;
    std::optional<Xxh128> xxh_;
    std::int64_t read_ = 0;
};

// One destination's side of a copy: its partial file from creation to promotion.
class CopyWriter {
public:
    // Checks the volumes and creates the partial file `partialName`.
    CopyWriter(const SourceFile& file, const std::string& partialName, const CopyContext& context);
    CopyWriter(const CopyWriter&) = delete;
    CopyWriter& operator=(const CopyWriter&) = delete;

    void write(const std::byte* data, size_t length);
    // Flushes, drops the cached pages, rereads the copy from storage and promotes it only when
    // it matches the source's digests.
    FileReceipt finish(const SourceDigests& source);

private:
    const SourceFile& file_;
    const CopyContext& context_;
    PlaceBeneath place_;
    std::filesystem::path shownFolder_;
    std::string partialBase_;
    // The copy under its hidden name, removed on every exit unless it was moved into place.
    struct Partial {
        int folder = -1;
        std::string name;
        UniqueFd fd;
        Partial() = default;
        Partial(const Partial&) = delete;
        Partial& operator=(const Partial&) = delete;
        ~Partial();
    };
    Partial partial_;
    std::int64_t copied_ = 0;
    std::int64_t lastCheck_ = 0;
};

// Always true in the programs: a copy proven without XXH3-128 could not be recorded in an ASC
// MHL history. Only bench/quaymark-ingest-sha256-only, built to measure what XXH3-128 costs,
// defines it false.
bool xxh128Enabled();

} // namespace quaymark::ImportEngine
