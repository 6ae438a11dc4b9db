// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaymark {

using Clock = std::chrono::system_clock;
using Timestamp = Clock::time_point;

struct ImportOptions {
    std::string folderRule;
    std::int64_t parallelFiles = 2;
    bool videosOnly = false;
    std::optional<std::string> cameraName;
    // An ASC MHL history beside the receipt. Not kept in the journal: a resume follows the
    // setting it is given.
    bool writeMhl = true;
    // Only these card paths, such as the clips added since the last import; every file when
    // absent. Kept in the journal, so that a resume plans the same files.
    std::optional<std::vector<std::string>> onlyFiles = std::nullopt;

    bool operator==(const ImportOptions&) const = default;
};

enum class ImportPhase { scanning, copying, verifying, finished };

std::string_view toString(ImportPhase phase);

struct ImportProgress {
    ImportPhase phase = ImportPhase::scanning;
    std::int64_t totalBytes = 0;
    std::int64_t copiedBytes = 0;
    std::int64_t verifiedBytes = 0;
    std::int64_t totalFiles = 0;
    std::int64_t verifiedFiles = 0;
    std::string currentFile;
    std::optional<std::filesystem::path> destination;

    // Copying and rereading each fill half of the bar.
    double fraction() const;

    bool operator==(const ImportProgress&) const = default;
};

struct SourceFile {
    std::filesystem::path url;
    std::string relative;
    std::string output;
    std::int64_t bytes = 0;
    std::optional<Timestamp> modified;

    bool operator==(const SourceFile&) const = default;
};

struct FileReceipt {
    std::string path;
    std::int64_t bytes = 0;
    std::string sha256;
    std::optional<Timestamp> sourceModified;
    std::optional<std::string> sourcePath;
    // XXH3-128 of the content, 32 lower-case hex digits; journals written before it lack it.
    std::optional<std::string> xxh128 = std::nullopt;

    bool operator==(const FileReceipt&) const = default;
};

struct ImportReceipt {
    std::string app = "Brindleway Quaymark";
    std::string source;
    Timestamp started;
    Timestamp finished;
    std::string status = "verified";
    std::string algorithm = "SHA-256";
    std::vector<FileReceipt> files;

    bool operator==(const ImportReceipt&) const = default;
};

struct ImportResult {
    std::filesystem::path destination;
    std::int64_t fileCount = 0;
    std::int64_t bytes = 0;
    double elapsed = 0;
    // What the user should know about a verified import, such as files that disagree with
    // the card's own hash history.
    std::vector<std::string> warnings{};

    bool operator==(const ImportResult&) const = default;
};

namespace SessionStatus {
inline constexpr std::string_view incomplete = "incomplete";
inline constexpr std::string_view interrupted = "interrupted";
inline constexpr std::string_view finalizing = "finalizing";
inline constexpr std::string_view verified = "verified";
} // namespace SessionStatus

struct SessionRecord {
    int version = 1;
    std::string source;
    std::optional<std::string> sourceVolume;
    std::string destination;
    Timestamp started;
    ImportOptions options;
    std::vector<FileReceipt> completed;
    std::string status{SessionStatus::incomplete};
    std::optional<std::string> failure;
    std::optional<std::map<std::string, std::string>> partialFiles;
    std::optional<std::map<std::string, std::int64_t>> plannedFiles;

    bool operator==(const SessionRecord&) const = default;
};

// Names of the documents an import leaves in its folder.
namespace ImportDocuments {
inline constexpr std::string_view journal = "_QUAYMARK_SESSION.json";
inline constexpr std::string_view receipt = "_QUAYMARK_VERIFIED.json";
inline constexpr std::string_view marker = "_QUAYMARK_INCOMPLETE.txt";
inline constexpr std::string_view lock = ".quaymark-import.lock";
// The handover report, written after the receipt; not part of the proof.
inline constexpr std::string_view reportCsv = "_QUAYMARK_REPORT.csv";
inline constexpr std::string_view reportHtml = "_QUAYMARK_REPORT.html";
inline constexpr std::string_view reportPdf = "_QUAYMARK_REPORT.pdf";
inline constexpr std::string_view statusPrefix = ".quaymark-status-";
inline constexpr std::string_view partialPrefix = ".quaymark-";
inline constexpr std::string_view incompleteText =
    "Import incomplete. Only _QUAYMARK_VERIFIED.json confirms a fully verified import.\n";

std::string interruptedText(std::string_view description);
} // namespace ImportDocuments

} // namespace quaymark
