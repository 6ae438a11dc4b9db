// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/CancellationFlag.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quaymark::ImportEngine {

// The proof a video project's folder keeps of every file it downloaded.
inline constexpr const char* downloadsReceiptName = "_QUAYMARK_DOWNLOADS.json";

struct DownloadedFile {
    // The file's name inside the project folder.
    std::string file;
    std::string url;
    std::string title;
    std::string uploader;
    // YYYY-MM-DD, or empty when the site gives none.
    std::string uploadDate;
    // The site's extractor and the video's id there.
    std::string site;
    std::string siteId;
    std::string preset;
    std::string ytDlpVersion;
    std::string ffmpegVersion;
    // When the file was hashed, ISO 8601 UTC.
    std::string time;
    std::int64_t size = 0;
    std::string sha256;

    bool operator==(const DownloadedFile&) const = default;
};

// Adds `files` to the folder's receipt, replacing entries of the same file names, and rewrites
// it whole and durably. Callers within one process are taken one at a time, so two downloads
// that end together both stay listed.
void recordDownloads(const std::filesystem::path& folder, const std::vector<DownloadedFile>& files);

// The receipt's entries; none when there is no receipt. Throws QuayError for a damaged one.
std::vector<DownloadedFile> readDownloads(const std::filesystem::path& folder);

struct DownloadFinding {
    enum class State { matches, missing, changed };
    std::string file;
    State state = State::matches;
};

// Hashes every listed file again from storage and compares size and SHA-256.
std::vector<DownloadFinding> checkDownloads(const std::filesystem::path& folder,
                                            const CancellationFlag& cancellation,
                                            const std::function<void(size_t)>& onChunk = {});

} // namespace quaymark::ImportEngine
