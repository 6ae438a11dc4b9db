// SPDX-License-Identifier: GPL-3.0-or-later
#include "MhlHistory.h"

#include "C4Id.h"
#include "MhlDocuments.h"
#include "ingest/copy/DurableWrite.h"
#include "ingest/copy/FileDigest.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/records/IsoDate.h"
#include "ingest/records/Version.h"
#include "ingest/scan/UnicodeText.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <limits>
#include <set>

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
    std::string(ImportDocuments::reportCsv),
    std::string(ImportDocuments::reportHtml),
    std::string(ImportDocuments::reportPdf),
    std::string(ImportDocuments::partialPrefix) + "*",
};

const std::string historyPrefix = std::string(AscMhl::folderName) + "/";

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

// The leading number of a numbered manifest's name; nothing when it has none that fits.
std::optional<std::int64_t> nameNumber(std::string_view name) {
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (error != std::errc() || end == name.data() || *end != '_') {
        return std::nullopt;
    }
    return number;
}

// A chain's number that leaves room for one after it; larger ones are damage.
bool usableSequence(std::int64_t sequence) {
    return sequence >= 1 && sequence < std::numeric_limits<std::int64_t>::max();
}

void sortBySequence(std::vector<AscMhl::ChainEntry>& chain) {
    std::stable_sort(chain.begin(), chain.end(),
                     [](const auto& a, const auto& b) { return a.sequence < b.sequence; });
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

// The files an import copied, by the key a case-folding destination gives their paths.
class CopiedFiles {
public:
    explicit CopiedFiles(const std::vector<FileReceipt>& files) {
        for (const auto& file : files) {
            keys_.insert(UnicodeText::nameKey(file.path));
        }
    }
    bool contains(std::string_view path) const {
        return keys_.contains(UnicodeText::nameKey(path));
    }

private:
    std::set<std::string> keys_;
};

// The history found at a source's root.
struct CarriedHistory {
    std::map<std::string, std::string> files; // document name -> bytes, the chain excluded
    std::optional<std::string> chainText;
    // The generations present and matching their C4 ID, in order; only these are chained.
    std::vector<AscMhl::ChainEntry> chain;
    bool chainWhole = true;         // every entry of the card's chain is in `chain`
    std::int64_t highestNumber = 0; // of any generation, chained or only named
    AscMhl::RecordedManifest recorded;
};

// False, reading nothing, when the import copied the documents as media.
bool readDocuments(const fs::path& folder, const CopiedFiles& copied, CarriedHistory& carried) {
    std::vector<fs::path> documents;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || entry.is_symlink() || !AscMhl::isDocumentName(name)) {
            continue;
        }
        if (copied.contains(historyPrefix + name)) {
            return false;
        }
        documents.push_back(entry.path());
    }
    for (const auto& path : documents) {
        const std::string name = path.filename().string();
        std::string bytes = readSmall(path);
        if (name == AscMhl::chainName) {
            carried.chainText = std::move(bytes);
        } else {
            if (const auto number = nameNumber(name); number && usableSequence(*number)) {
                carried.highestNumber = std::max(carried.highestNumber, *number);
            }
            carried.files.emplace(name, std::move(bytes));
        }
    }
    return true;
}

// A history without its chain file: its generations by their numbered names.
std::vector<AscMhl::ChainEntry> chainFromNames(const CarriedHistory& carried) {
    std::vector<AscMhl::ChainEntry> chain;
    for (const auto& [name, bytes] : carried.files) {
        chain.push_back({*nameNumber(name), name, AscMhl::c4Id(bytes)}); // all are numbered
    }
    return chain;
}

// Keeps the generations that can be chained again: present, intact, readable and numbered.
void checkChain(std::vector<AscMhl::ChainEntry> chain, CarriedHistory& carried,
                std::vector<std::string>& warnings) {
    sortBySequence(chain);
    for (auto& generation : chain) {
        const auto file = carried.files.find(generation.path);
        std::string problem;
        if (file == carried.files.end()) {
            problem = "lacks its generation " + generation.path;
        } else if (!usableSequence(generation.sequence)) {
            problem = "numbers its generation " + generation.path + " " +
                      std::to_string(generation.sequence) + ", which is damaged";
        } else if (AscMhl::c4Id(file->second) != generation.c4) {
            problem =
                "has a generation " + generation.path + " that does not match its chain entry";
        } else {
            try {
                for (auto& [path, value] : AscMhl::readManifest(file->second).xxh128) {
                    carried.recorded.xxh128[path] = std::move(value);
                }
                carried.highestNumber = std::max(carried.highestNumber, generation.sequence);
                carried.chain.push_back(std::move(generation));
                continue;
            } catch (const std::exception& failure) {
                problem = "has a generation " + generation.path + " that cannot be read (" +
                          failure.what() + ")";
            }
        }
        carried.chainWhole = false;
        warnings.push_back("ASC MHL: the card's history " + problem +
                           "; it is left out of the chain.");
    }
}

enum class SourceHistory { none, carried, copiedAsMedia };

// What of the source's history can be carried; its documents are read whole.
SourceHistory readCarried(const fs::path& source, const CopiedFiles& copied,
                          CarriedHistory& carried, std::vector<std::string>& warnings) {
    const fs::path folder = source / AscMhl::folderName;
    std::error_code error;
    if (fs::symlink_status(folder, error).type() != fs::file_type::directory) {
        return SourceHistory::none;
    }
    if (!readDocuments(folder, copied, carried)) {
        return SourceHistory::copiedAsMedia;
    }
    std::vector<AscMhl::ChainEntry> chain;
    try {
        chain = carried.chainText ? AscMhl::readChain(*carried.chainText) : chainFromNames(carried);
    } catch (const std::exception& failure) {
        warnings.push_back(std::string("ASC MHL: the card's chain cannot be read (") +
                           failure.what() + "); its generations were copied as they were.");
        carried.chainWhole = false;
        return SourceHistory::carried;
    }
    checkChain(std::move(chain), carried, warnings);
    return SourceHistory::carried;
}

// Leftovers of an earlier attempt at this import's history are replaced, never mixed in; what
// the import copied into the folder stays.
void prepareFolder(const fs::path& importFolder, const CopiedFiles& copied) {
    const fs::path folder = importFolder / AscMhl::folderName;
    if (fs::symlink_status(folder).type() == fs::file_type::directory) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && !entry.is_symlink() &&
                (AscMhl::isDocumentName(name) || isStatusFileName(name)) &&
                !copied.contains(historyPrefix + name)) {
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

// This transfer's generation; nothing, with a warning, when a name cannot stand in XML.
std::optional<AscMhl::Manifest> makeManifest(const AscMhl::HistoryRequest& request,
                                             const CarriedHistory* carried,
                                             const CancellationFlag& cancellation,
                                             std::vector<std::string>& warnings) {
    AscMhl::Manifest manifest;
    manifest.created = request.now;
    manifest.hostName = hostName();
    manifest.toolName = "Quaymark";
    manifest.toolVersion = quaymarkVersion();
    // The card's own patterns are not inherited: they would leave our copies unproven.
    manifest.ignorePatterns = ownIgnorePatterns;
    const std::string folderText = request.importFolder.filename().string();
    if (!AscMhl::xmlSafe(folderText) || !AscMhl::xmlSafe(manifest.hostName)) {
        warnings.push_back("ASC MHL not written: " + folderText +
                           " cannot be named in an XML document.");
        return std::nullopt;
    }
    for (const auto& file : request.files) {
        if (inHistoryFolder(file.path)) {
            continue;
        }
        if (!AscMhl::xmlSafe(file.path)) {
            warnings.push_back("ASC MHL not written: " + file.path +
                               " cannot be named in an XML document.");
            return std::nullopt;
        }
        AscMhl::HashEntry entry{file.path, file.bytes, file.sourceModified,
                                xxh128Of(file, request.importFolder, cancellation)};
        if (carried) {
            const auto earlier = carried->recorded.xxh128.find(file.path);
            if (earlier != carried->recorded.xxh128.end()) {
                entry.action = earlier->second == entry.xxh128 ? AscMhl::Action::verified
                                                               : AscMhl::Action::failed;
            }
        }
        if (entry.action == AscMhl::Action::failed) {
            warnings.push_back("ASC MHL: " + file.path +
                               " differs from the hash in the card's own history; the copy "
                               "matches the card as it was read.");
        }
        manifest.hashes.push_back(std::move(entry));
    }
    return manifest;
}

void writeGeneration(const AscMhl::Manifest& manifest, const AscMhl::HistoryRequest& request,
                     const CarriedHistory* carried) {
    std::vector<AscMhl::ChainEntry> chain =
        carried ? carried->chain : std::vector<AscMhl::ChainEntry>{};
    const std::int64_t sequence = (carried ? carried->highestNumber : 0) + 1;
    std::string name =
        manifestName(sequence, request.importFolder.filename().string(), request.now);
    const fs::path folder = request.importFolder / AscMhl::folderName;
    const std::string text = AscMhl::writeManifest(manifest);
    durableWrite(text, folder / name);
    chain.push_back({sequence, std::move(name), AscMhl::c4Id(text)});
    durableWrite(AscMhl::writeChain(chain), folder / AscMhl::chainName);
}

} // namespace

bool AscMhl::isDocumentName(std::string_view name) {
    return name == chainName || (name.ends_with(".mhl") && nameNumber(name).has_value());
}

bool AscMhl::isDocumentPath(std::string_view relative) {
    return relative.starts_with(historyPrefix) &&
           isDocumentName(relative.substr(historyPrefix.size()));
}

std::vector<SourceFile> AscMhl::withoutSourceHistory(std::vector<SourceFile> plan) {
    const auto isDocument = [](const SourceFile& file) { return isDocumentPath(file.relative); };
    for (const auto& file : plan) {
        if (isDocument(file) && file.bytes > documentLimit) {
            return plan;
        }
    }
    std::erase_if(plan, isDocument);
    return plan;
}

std::vector<std::string> AscMhl::writeHistory(const HistoryRequest& request,
                                              const CancellationFlag& cancellation) {
    std::vector<std::string> warnings;
    const CopiedFiles copied(request.files);
    if (copied.contains(folderName)) {
        warnings.push_back("ASC MHL not written: the source has a file named “ascmhl” where the "
                           "history folder goes.");
        return warnings;
    }
    CarriedHistory carried;
    const SourceHistory found = request.sourceFolder
                                    ? readCarried(*request.sourceFolder, copied, carried, warnings)
                                    : SourceHistory::none;
    if (found == SourceHistory::copiedAsMedia) {
        warnings.push_back("ASC MHL: the card's history was not carried, as one of its files is "
                           "too large to be a history document. Its files were copied and "
                           "verified as media, and no history was written.");
        return warnings;
    }
    const CarriedHistory* source = found == SourceHistory::carried ? &carried : nullptr;
    if (!request.writeGeneration && !source) {
        return warnings;
    }
    const std::optional<Manifest> manifest =
        request.writeGeneration ? makeManifest(request, source, cancellation, warnings)
                                : std::nullopt;
    if (!manifest && !source) {
        return warnings;
    }
    cancellation.check();

    prepareFolder(request.importFolder, copied);
    const fs::path folder = request.importFolder / folderName;
    if (source) {
        for (const auto& [name, bytes] : source->files) {
            durableWrite(bytes, folder / name);
        }
    }
    if (manifest) {
        writeGeneration(*manifest, request, source);
    } else if (source->chainWhole && source->chainText) {
        durableWrite(*source->chainText, folder / chainName);
    } else if (!source->chain.empty()) {
        durableWrite(writeChain(source->chain), folder / chainName);
    }
    return warnings;
}

std::optional<AscMhl::RecordedHistory> AscMhl::readHistory(const fs::path& folder) {
    const fs::path history = folder / folderName;
    std::error_code error;
    if (fs::symlink_status(history, error).type() != fs::file_type::directory) {
        return std::nullopt;
    }
    RecordedHistory recorded;
    std::vector<ChainEntry> chain;
    try {
        chain = readChain(readSmall(history / chainName));
    } catch (const std::exception& failure) {
        recorded.problems.push_back(std::string("the chain cannot be read: ") + failure.what());
    }
    sortBySequence(chain);
    for (const auto& generation : chain) {
        if (generation.path.find('/') != std::string::npos || generation.path == ".." ||
            generation.path == "." || generation.path.empty()) {
            recorded.problems.push_back("the chain names a file outside ascmhl/: " +
                                        generation.path);
            continue;
        }
        try {
            const std::string bytes = readSmall(history / generation.path);
            if (c4Id(bytes) != generation.c4) {
                recorded.altered.push_back(generation.path);
            }
            for (auto& [path, value] : readManifest(bytes).xxh128) {
                recorded.xxh128[path] = std::move(value);
            }
        } catch (const std::exception& failure) {
            recorded.problems.push_back("the generation " + generation.path +
                                        " cannot be read: " + failure.what());
        }
    }
    return recorded;
}

} // namespace quaymark
