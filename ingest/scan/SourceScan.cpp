// SPDX-License-Identifier: GPL-3.0-or-later
#include "SourceScan.h"

#include "FlatNames.h"
#include "MediaFormats.h"
#include "ResolvedPath.h"
#include "UnicodeText.h"
#include "ingest/records/IsoDate.h"
#include "ingest/records/QuayError.h"

#include <fts.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

namespace quaymark {

namespace {

// Never planned and never descended into, at any depth; exact, case-sensitive names.
constexpr std::array<std::string_view, 5> skippedNames{".Spotlight-V100", ".Trashes", ".fseventsd",
                                                       ".TemporaryItems", ".DS_Store"};

bool isSkipped(std::string_view name) {
    return std::find(skippedNames.begin(), skippedNames.end(), name) != skippedNames.end();
}

// The documents an import keeps at its folder's root. Copied along with everything else, they
// would collide with the new import's own: the copied receipt would be replaced by the new one.
bool isImportDocument(std::string_view name) {
    return name == ImportDocuments::journal || name == ImportDocuments::receipt ||
           name == ImportDocuments::marker || name == ImportDocuments::lock;
}

struct FtsCloser {
    void operator()(FTS* walk) const { ::fts_close(walk); }
};

std::filesystem::filesystem_error walkError(const char* operation, const FTSENT& item) {
    return {operation, std::filesystem::path(item.fts_path),
            std::error_code(item.fts_errno, std::generic_category())};
}

// The item's path below the root, "/"-joined, taken from its resolved form so that a folder
// swapped for a link during the walk is noticed.
std::string relativePath(const std::filesystem::path& root, const FTSENT& item) {
    const auto resolved = std::filesystem::weakly_canonical(item.fts_path);
    auto rest = resolved.begin();
    for (const auto& component : root) {
        if (rest == resolved.end() || *rest != component) {
            throw QuayError::changed(item.fts_name);
        }
        ++rest;
    }
    std::string relative;
    for (; rest != resolved.end(); ++rest) {
        if (!relative.empty()) {
            relative += '/';
        }
        relative += rest->native();
    }
    if (relative.empty()) {
        throw QuayError::changed(item.fts_name);
    }
    return relative;
}

void sortByRelativePath(std::vector<SourceFile>& plan) {
    std::vector<std::pair<std::string, SourceFile>> keyed;
    keyed.reserve(plan.size());
    for (auto& file : plan) {
        keyed.emplace_back(UnicodeText::sortKey(file.relative), std::move(file));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < plan.size(); ++i) {
        plan[i] = std::move(keyed[i].second);
    }
}

// What one entry below the root adds to the plan, if anything; throws what ends the walk.
std::optional<SourceFile> plannedEntry(FTS* walk, const FTSENT* item,
                                       const std::filesystem::path& root, bool videosOnly) {
    if (!videosOnly && item->fts_level == 1 && isImportDocument(item->fts_name)) {
        throw QuayError::invalidLocation("This folder is a Quaymark import folder. To copy it, "
                                         "choose the folder that contains it.");
    }
    if (isSkipped(item->fts_name)) {
        ::fts_set(walk, const_cast<FTSENT*>(item), FTS_SKIP);
        return std::nullopt;
    }
    if (item->fts_info == FTS_NS) {
        throw walkError("Read file attributes", *item);
    }
    if (item->fts_info == FTS_DNR || item->fts_info == FTS_ERR) {
        throw walkError("Read folder", *item); // the first failure ends the walk
    }
    const struct stat& info = *item->fts_statp;
    // Links are skipped whatever they point to; folders are descended by the walk; devices
    // and sockets plan nothing.
    if (!S_ISREG(info.st_mode) || (videosOnly && !MediaFormats::isVideo(item->fts_name))) {
        return std::nullopt;
    }
    SourceFile file;
    file.url = item->fts_path;
    file.relative = relativePath(root, *item);
    file.output = videosOnly ? std::string(item->fts_name) : file.relative;
    file.bytes = std::max<std::int64_t>(info.st_size, 0);
    file.modified = timestampFromFileTime(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    return file;
}

} // namespace

std::vector<SourceFile> ImportEngine::scan(const std::filesystem::path& root, bool videosOnly,
                                           const CancellationFlag& cancellation,
                                           const NameRules& rules) {
    // One physical walk: every entry is lstat-ed once, links are reported, never followed.
    char* roots[] = {const_cast<char*>(root.c_str()), nullptr};
    const std::unique_ptr<FTS, FtsCloser> walk(
        ::fts_open(roots, FTS_PHYSICAL | FTS_NOCHDIR, nullptr));
    if (!walk) {
        throw QuayError::unavailable("Cannot read the source folder.");
    }

    std::vector<SourceFile> plan;
    while (const FTSENT* item = ::fts_read(walk.get())) {
        if (item->fts_level == FTS_ROOTLEVEL) {
            if (item->fts_info == FTS_DNR || item->fts_info == FTS_NS ||
                item->fts_info == FTS_ERR) {
                throw QuayError::unavailable("Cannot read the source folder.");
            }
            continue;
        }
        if (item->fts_info == FTS_DP) {
            continue; // a folder's second visit, after everything below it
        }
        cancellation.check();
        if (auto file = plannedEntry(walk.get(), item, root, videosOnly)) {
            plan.push_back(std::move(*file));
        }
    }
    // The walk ends with errno 0; anything else is a failure of the walk itself.
    if (errno != 0) {
        throw std::filesystem::filesystem_error("Read folder", root,
                                                std::error_code(errno, std::generic_category()));
    }

    sortByRelativePath(plan);
    if (videosOnly) {
        assignFlatNames(plan, rules);
    }
    return plan;
}

std::vector<std::filesystem::path> ImportEngine::videoFiles(const std::filesystem::path& folder) {
    return atEngineEdge([&] {
        const CancellationFlag neverCancelled;
        std::vector<std::filesystem::path> clips;
        for (auto& file : scan(resolvedPath(folder), true, neverCancelled)) {
            clips.push_back(std::move(file.url));
        }
        return clips;
    });
}

} // namespace quaymark
