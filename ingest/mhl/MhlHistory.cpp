// SPDX-License-Identifier: GPL-3.0-or-later
#include "MhlHistory.h"

#include "C4Id.h"
#include "MhlDocuments.h"
#include "ingest/copy/DurableWrite.h"
#include "ingest/copy/FileDigest.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/records/IsoDate.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>

namespace quaymark {

namespace fs = std::filesystem;

namespace {

// History documents are small; anything larger is not one.
constexpr std::int64_t documentLimit = 64 * 1024 * 1024;

const std::vector<std::string> ownIgnorePatterns = {
    ".DS_Store",
    std::string(AscMhl::folderName),
    std::string(AscMhl::folderName) + "/",
    std::string(ImportDocuments::journal),
    std::string(ImportDocuments::receipt),
    std::string(ImportDocuments::marker),
    std::string(ImportDocuments::partialPrefix) + "*",
};

bool inHistoryFolder(const std::string& path) {
    for (const auto& part : fs::path(path)) {
        if (part == AscMhl::folderName) {
            return true;
        }
    }
    return false;
}

std::string readSmall(const fs::path& path) {
    return readDocument(path, documentLimit, "An ASC MHL document is too large to read.");
}

std::string hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return name;
}

// "0003_A001_2025-03-01_093000Z.mhl"
std::string manifestName(std::int64_t sequence, const std::string& folder, Timestamp now) {
    std::string stamp = formatIsoDate(now); // 2025-03-01T09:30:00Z
    stamp = stamp.substr(0, 10) + "_" + stamp.substr(11, 2) + stamp.substr(14, 2) +
            stamp.substr(17, 2) + "Z";
    char number[24];
    std::snprintf(number, sizeof number, "%04lld", static_cast<long long>(sequence));
    return std::string(number) + "_" + folder + "_" + stamp + ".mhl";
}

// The history found at a source's root.
struct CarriedHistory {
    std::map<std::string, std::string> files; // name -> bytes, the chain file excluded
    std::optional<std::string> chainText;
    std::vector<AscMhl::ChainEntry> chain;
    AscMhl::RecordedManifest recorded;
};

std::optional<CarriedHistory> readCarried(const fs::path& source,
                                          std::vector<std::string>& warnings) {
    const fs::path folder = source / AscMhl::folderName;
    std::error_code error;
    if (fs::symlink_status(folder, error).type() != fs::file_type::directory) {
        return std::nullopt;
    }
    CarriedHistory carried;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.is_symlink()) {
            continue;
        }
        const std::string name = entry.path().filename().string();
        std::string bytes = readSmall(entry.path());
        if (name == AscMhl::chainName) {
            carried.chainText = std::move(bytes);
        } else {
            carried.files.emplace(name, std::move(bytes));
        }
    }

    try {
        if (carried.chainText) {
            carried.chain = AscMhl::readChain(*carried.chainText);
        } else {
            // A history without its chain file: its generations by their numbered names.
            for (const auto& [name, bytes] : carried.files) {
                long long sequence = 0;
                int used = 0;
                if (name.ends_with(".mhl") &&
                    std::sscanf(name.c_str(), "%4lld_%n", &sequence, &used) == 1 && used == 5) {
                    carried.chain.push_back({sequence, name, AscMhl::c4Id(bytes)});
                }
            }
        }
        std::stable_sort(carried.chain.begin(), carried.chain.end(),
                         [](const auto& a, const auto& b) { return a.sequence < b.sequence; });
        for (const auto& generation : carried.chain) {
            const auto file = carried.files.find(generation.path);
            if (file == carried.files.end()) {
                warnings.push_back("ASC MHL: the card's history lacks its generation " +
                                   generation.path + ".");
                continue;
            }
            if (AscMhl::c4Id(file->second) != generation.c4) {
                warnings.push_back("ASC MHL: the card's history file " + generation.path +
                                   " does not match its chain entry.");
            }
            AscMhl::RecordedManifest recorded = AscMhl::readManifest(file->second);
            for (auto& [path, value] : recorded.xxh128) {
                carried.recorded.xxh128[path] = std::move(value);
            }
            carried.recorded.ignorePatterns = std::move(recorded.ignorePatterns);
        }
    } catch (const std::exception& failure) {
        warnings.push_back(std::string("ASC MHL: the card's history cannot be read (") +
                           failure.what() + "); it was copied as it was.");
        carried.chain.clear();
        carried.recorded = {};
    }
    return carried;
}

// Leftovers of an earlier attempt at this import's history are replaced, never mixed in.
void prepareFolder(const fs::path& importFolder) {
    const fs::path folder = importFolder / AscMhl::folderName;
    if (fs::symlink_status(folder).type() == fs::file_type::directory) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.is_regular_file() && !entry.is_symlink()) {
                fs::remove(entry.path());
            }
        }
    } else {
        fs::create_directory(folder);
    }
    syncFolder(importFolder);
}

bool isDigest(const std::string& value) {
    return value.size() == 32 && value.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// A journal's value that is not a digest (a damaged journal) is hashed again, never written.
std::string xxh128Of(const FileReceipt& file, const fs::path& importFolder,
                     const CancellationFlag& cancellation) {
    if (file.xxh128 && isDigest(*file.xxh128)) {
        return *file.xxh128;
    }
    return ImportEngine::hashes(importFolder / file.path, cancellation).xxh128;
}

} // namespace

std::vector<SourceFile> AscMhl::withoutSourceHistory(std::vector<SourceFile> plan) {
    const std::string prefix = std::string(folderName) + "/";
    std::erase_if(plan, [&](const SourceFile& file) { return file.relative.starts_with(prefix); });
    return plan;
}

std::vector<std::string> AscMhl::writeHistory(const HistoryRequest& request,
                                              const CancellationFlag& cancellation) {
    std::vector<std::string> warnings;
    std::optional<CarriedHistory> carried;
    if (request.sourceFolder) {
        carried = readCarried(*request.sourceFolder, warnings);
    }
    if (!request.writeGeneration && !carried) {
        return warnings;
    }

    std::optional<Manifest> manifest;
    const std::string folderText = request.importFolder.filename().string();
    if (request.writeGeneration) {
        manifest.emplace();
        manifest->created = request.now;
        manifest->hostName = hostName();
        manifest->toolName = "Quaymark";
        manifest->toolVersion = QUAYMARK_VERSION;
        if (carried) {
            manifest->ignorePatterns = carried->recorded.ignorePatterns;
        }
        for (const auto& pattern : ownIgnorePatterns) {
            if (std::find(manifest->ignorePatterns.begin(), manifest->ignorePatterns.end(),
                          pattern) == manifest->ignorePatterns.end()) {
                manifest->ignorePatterns.push_back(pattern);
            }
        }
        std::optional<std::string> unnamable;
        if (!xmlSafe(folderText) || !xmlSafe(manifest->hostName)) {
            unnamable = folderText;
        }
        for (const auto& file : request.files) {
            if (inHistoryFolder(file.path)) {
                continue;
            }
            if (!xmlSafe(file.path)) {
                unnamable = file.path;
                break;
            }
            HashEntry entry{file.path, file.bytes, file.sourceModified,
                            xxh128Of(file, request.importFolder, cancellation)};
            if (carried) {
                const auto earlier = carried->recorded.xxh128.find(file.path);
                if (earlier != carried->recorded.xxh128.end()) {
                    entry.action =
                        earlier->second == entry.xxh128 ? Action::verified : Action::failed;
                }
            }
            if (entry.action == Action::failed) {
                warnings.push_back("ASC MHL: " + file.path +
                                   " differs from the hash in the card's own history; the copy "
                                   "matches the card as it was read.");
            }
            manifest->hashes.push_back(std::move(entry));
        }
        if (unnamable) {
            warnings.push_back("ASC MHL not written: " + *unnamable +
                               " cannot be named in an XML document.");
            manifest.reset();
            if (!carried) {
                return warnings;
            }
        }
    }
    cancellation.check();

    prepareFolder(request.importFolder);
    const fs::path folder = request.importFolder / folderName;
    if (carried) {
        for (const auto& [name, bytes] : carried->files) {
            durableWrite(bytes, folder / name);
        }
    }
    if (!manifest) {
        if (carried && carried->chainText) {
            durableWrite(*carried->chainText, folder / chainName);
        }
        return warnings;
    }

    std::vector<ChainEntry> chain = carried ? carried->chain : std::vector<ChainEntry>{};
    std::int64_t sequence = 1;
    for (const auto& entry : chain) {
        sequence = std::max(sequence, entry.sequence + 1);
    }
    std::string name = manifestName(sequence, folderText, request.now);
    const std::string text = writeManifest(*manifest);
    durableWrite(text, folder / name);
    chain.push_back({sequence, std::move(name), c4Id(text)});
    durableWrite(writeChain(chain), folder / chainName);
    return warnings;
}

std::optional<AscMhl::RecordedHistory> AscMhl::readHistory(const fs::path& folder) {
    const fs::path history = folder / folderName;
    std::error_code error;
    if (fs::symlink_status(history, error).type() != fs::file_type::directory) {
        return std::nullopt;
    }
    std::vector<ChainEntry> chain = readChain(readSmall(history / chainName));
    std::stable_sort(chain.begin(), chain.end(),
                     [](const auto& a, const auto& b) { return a.sequence < b.sequence; });
    RecordedHistory recorded;
    for (const auto& generation : chain) {
        if (generation.path.find('/') != std::string::npos || generation.path == ".." ||
            generation.path.empty()) {
            throw std::runtime_error("the chain names a file outside ascmhl/: " + generation.path);
        }
        const std::string bytes = readSmall(history / generation.path);
        if (c4Id(bytes) != generation.c4) {
            recorded.altered.push_back(generation.path);
        }
        for (auto& [path, value] : readManifest(bytes).xxh128) {
            recorded.xxh128[path] = std::move(value);
        }
    }
    return recorded;
}

} // namespace quaymark
