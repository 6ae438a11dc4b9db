// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/CancellationFlag.h"
#include "ingest/records/ImportRecords.h"
#include "ingest/scan/DestinationNames.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quaymark::ImportEngine {

class SharedReads;

using ProgressCallback = std::function<void(const ImportProgress&)>;

// What a run asks of the system, replaceable where tests need a full disk or a named volume.
struct RunEnvironment {
    // Bytes free for this user on the file system holding a folder; nothing when unknown.
    std::function<std::optional<std::int64_t>(const std::filesystem::path&)> freeSpace;
    // The identifier of the volume holding a folder; nothing when it has none.
    std::function<std::optional<std::string>(const std::filesystem::path&)> volumeIdentifier;
    // Told of each folder whose entries were flushed before the receipt; optional.
    std::function<void(const std::filesystem::path&)> folderSynced;
    // The runs of one batch, one per destination, pass the same object to read each source
    // file once for all of them; made for as many runs as will join it. Optional.
    std::shared_ptr<SharedReads> sharedReads;
};

RunEnvironment systemEnvironment();

// The files an import of `source` would plan, sorted by card path: metadata only, nothing read
// or written. `rules` shapes the flattened names of a clips-only plan.
std::vector<SourceFile> plannedFiles(const std::filesystem::path& source, bool videosOnly,
                                     const CancellationFlag& cancellation,
                                     const NameRules& rules = {});

// Imports `source` into a new import folder below `target`, or resumes `resumeFolder`, and
// returns only when every planned file was copied and verified. Any failure after the journal
// exists leaves it "interrupted" with every verified file kept, for a later resume. `progress`
// is called from several threads, possibly out of order.
ImportResult run(const std::filesystem::path& source, const std::filesystem::path& target,
                 const ImportOptions& options, const CancellationFlag& cancellation,
                 const std::optional<std::filesystem::path>& resumeFolder,
                 const ProgressCallback& progress,
                 const RunEnvironment& environment = systemEnvironment());

} // namespace quaymark::ImportEngine
