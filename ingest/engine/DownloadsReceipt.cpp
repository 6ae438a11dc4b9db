// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadsReceipt.h"

#include "ingest/copy/DurableWrite.h"
#include "ingest/copy/FileDigest.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/records/QuayError.h"

#include <sys/stat.h>

#include <mutex>
#include <nlohmann/json.hpp>

namespace quaymark::ImportEngine {

namespace fs = std::filesystem;
using nlohmann::json;
using nlohmann::ordered_json;

namespace {

// Far above any project's list of files; a larger file is no receipt of ours.
constexpr std::int64_t receiptLimit = 64 * 1024 * 1024;

// Every receipt of this process is rewritten under it: two links of one project may end at once.
std::mutex receiptLock;

ordered_json encode(const DownloadedFile& file) {
    return ordered_json{
        {"file", file.file},
        {"url", file.url},
        {"title", file.title},
        {"uploader", file.uploader},
        {"uploadDate", file.uploadDate},
        {"site", file.site},
        {"siteId", file.siteId},
        {"preset", file.preset},
        {"ytDlpVersion", file.ytDlpVersion},
        {"ffmpegVersion", file.ffmpegVersion},
        {"time", file.time},
        {"size", file.size},
        {"sha256", file.sha256},
    };
}

DownloadedFile decode(const json& entry) {
    const auto text = [&](const char* key) { return entry.at(key).get<std::string>(); };
    return DownloadedFile{
        text("file"),          text("url"),        text("title"),
        text("uploader"),      text("uploadDate"), text("site"),
        text("siteId"),        text("preset"),     text("ytDlpVersion"),
        text("ffmpegVersion"), text("time"),       entry.at("size").get<std::int64_t>(),
        text("sha256")};
}

std::vector<DownloadedFile> readLocked(const fs::path& folder) {
    const fs::path path = folder / downloadsReceiptName;
    std::string bytes;
    try {
        bytes = readDocument(path, receiptLimit,
                             "The downloads receipt " + path.string() + " is not a readable file.");
    } catch (const fs::filesystem_error& error) {
        if (error.code() == std::errc::no_such_file_or_directory) {
            return {}; // the project's first download
        }
        throw;
    }
    try {
        const json receipt = json::parse(bytes);
        std::vector<DownloadedFile> files;
        for (const json& entry : receipt.at("files")) {
            files.push_back(decode(entry));
        }
        return files;
    } catch (const json::exception& error) {
        throw QuayError::failed("The downloads receipt " + path.string() +
                                " cannot be read: " + error.what());
    }
}

// A receipt names files inside its own folder only.
bool plainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

} // namespace

void recordDownloads(const fs::path& folder, const std::vector<DownloadedFile>& files) {
    const std::lock_guard guard(receiptLock);
    std::vector<DownloadedFile> all = readLocked(folder);
    for (const DownloadedFile& file : files) {
        std::erase_if(all, [&](const DownloadedFile& old) { return old.file == file.file; });
        all.push_back(file);
    }
    ordered_json list = ordered_json::array();
    for (const DownloadedFile& file : all) {
        list.push_back(encode(file));
    }
    const ordered_json receipt{{"tool", "Quaymark"}, {"files", list}};
    durableWrite(receipt.dump(2) + "\n", folder / downloadsReceiptName);
}

std::vector<DownloadedFile> readDownloads(const fs::path& folder) {
    const std::lock_guard guard(receiptLock);
    return readLocked(folder);
}

std::vector<DownloadFinding> checkDownloads(const fs::path& folder,
                                            const CancellationFlag& cancellation,
                                            const std::function<void(size_t)>& onChunk) {
    std::vector<DownloadFinding> findings;
    for (const DownloadedFile& file : readDownloads(folder)) {
        DownloadFinding finding{file.file, DownloadFinding::State::matches};
        struct stat info {};
        const fs::path path = folder / file.file;
        if (!plainName(file.file) || ::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            finding.state = DownloadFinding::State::missing;
        } else if (info.st_size != file.size ||
                   digest(path, cancellation, onChunk) != file.sha256) {
            finding.state = DownloadFinding::State::changed;
        }
        findings.push_back(std::move(finding));
    }
    return findings;
}

} // namespace quaymark::ImportEngine
