// SPDX-License-Identifier: GPL-3.0-or-later
#include "CatalogCommand.h"

#include "CardMemory.h"
#include "app/platform/CatalogEntry.h"
#include "app/platform/DriveIdentity.h"
#include "ingest/catalog/CardStatus.h"
#include "ingest/catalog/CatalogScan.h"
#include "ingest/copy/FileDigest.h"
#include "ingest/engine/ImportRun.h"
#include "ingest/records/IsoDate.h"
#include "ingest/scan/FileSize.h"
#include "ingest/scan/ResolvedPath.h"

#include <map>

namespace fs = std::filesystem;

namespace quaymark::cli {

namespace {

using catalog::CatalogFiles;

nlohmann::json copyJson(const catalog::CatalogCopy& copy, const std::string& output) {
    nlohmann::json json = {{"destination", copy.destinationLabel},
                           {"importFolder", copy.folder.string()},
                           {"path", (copy.folder / output).string()},
                           {"verified", formatIsoDate(copy.verified)},
                           {"connected", fs::exists(copy.folder)}};
    if (copy.checkFailed) {
        json["checkFailed"] = *copy.checkFailed;
    }
    return json;
}

std::string copyLine(const catalog::CatalogCopy& copy, const std::string& output) {
    return "           " + copy.destinationLabel + "  " + (copy.folder / output).string() +
           "  verified " + catalog::dayAndTime(copy.verified) +
           (fs::exists(copy.folder) ? "" : "  (not connected)") +
           (copy.checkFailed ? "  CHECK FAILED: " + *copy.checkFailed : "");
}

// One entry per file (card path and content), each with every copy of it.
void showFiles(const CatalogFiles& found, Reporter& reporter) {
    const auto files = catalog::filesByContent(found);
    for (const auto& entry : files) {
        const auto& first = found.files[entry.copies.front()];
        const auto& camera = found.copies[first.copy].camera;
        if (reporter.json()) {
            nlohmann::json event = {{"event", "file"},
                                    {"path", first.card.relative},
                                    {"bytes", first.card.bytes},
                                    {"sha256", first.sha256},
                                    {"camera", camera.value_or("")},
                                    {"copies", nlohmann::json::array()}};
            for (const std::size_t index : entry.copies) {
                const auto& file = found.files[index];
                event["copies"].push_back(copyJson(found.copies[file.copy], file.output));
            }
            reporter.event(event);
            continue;
        }
        reporter.say(first.card.relative + "  " + formatFileSize(first.card.bytes) + "  " +
                     first.sha256.substr(0, 12) + (camera ? "  " + *camera : ""));
        for (const std::size_t index : entry.copies) {
            const auto& file = found.files[index];
            reporter.say(copyLine(found.copies[file.copy], file.output));
        }
    }
    if (!reporter.json() && files.empty()) {
        reporter.say("Nothing in the catalog matches.");
    }
}

int scan(catalog::Catalog& catalog, const CommandLine& command, Reporter& reporter) {
    int status = 0;
    for (const auto& folder : command.paths) {
        const fs::path root = fs::absolute(folder).lexically_normal();
        const auto result = catalog::scanIntoCatalog(
            catalog, root,
            [&root](const fs::path& at) { return platform::destinationIdentity(at, root); },
            CancellationFlag{});
        status = result.problems.empty() ? status : 1;
        if (reporter.json()) {
            reporter.event({{"event", "scanned"},
                            {"folder", root.string()},
                            {"recorded", result.recorded},
                            {"problems", result.problems}});
            continue;
        }
        reporter.say("Recorded   " + std::to_string(result.recorded) + " verified import folder" +
                     (result.recorded == 1 ? "" : "s") + " below " + root.string());
        for (const auto& problem : result.problems) {
            reporter.say("Skipped    " + problem);
        }
    }
    return status;
}

// A file that exists is looked up by its content; anything else is a hash or a card path.
CatalogFiles where(catalog::Catalog& catalog, const std::string& item) {
    std::error_code error;
    if (fs::is_regular_file(item, error)) {
        return catalog.where(ImportEngine::digest(item, CancellationFlag{}));
    }
    return catalog.where(item);
}

int card(catalog::Catalog& catalog, const CommandLine& command, Reporter& reporter) {
    const fs::path source = ImportEngine::resolvedPath(command.paths.front());
    const auto files = catalog::cardFiles(
        ImportEngine::plannedFiles(source, !command.allFiles, CancellationFlag{}));
    const auto identity = platform::cardIdentity(source, files);
    const CatalogFiles history = catalog.history(identity, source.string());
    const auto state = catalog::cardState(history, files, static_cast<int>(command.copies));
    const bool safe = state.kind == catalog::CardState::Kind::safeToFormat;
    if (reporter.json()) {
        static const std::map<catalog::CardState::Kind, const char*> names = {
            {catalog::CardState::Kind::notImported, "notImported"},
            {catalog::CardState::Kind::importing, "importing"},
            {catalog::CardState::Kind::copies, "copies"},
            {catalog::CardState::Kind::changed, "changed"},
            {catalog::CardState::Kind::safeToFormat, "safeToFormat"}};
        reporter.event({{"event", "card"},
                        {"state", names.at(state.kind)},
                        {"copies", state.copies},
                        {"drives", state.drives},
                        {"required", state.required},
                        {"text", state.text()}});
    } else {
        reporter.say(state.text());
    }
    return safe ? 0 : 1;
}

} // namespace

int runCatalog(const CommandLine& command, Reporter& reporter) {
    const auto catalog = CardMemory::open(command, reporter);
    if (!catalog) {
        return 1;
    }
    switch (command.catalogAction) {
    case CatalogAction::scan:
        if (!catalog->readOnlyReason().empty()) {
            reporter.error(catalog->readOnlyReason());
            return 1;
        }
        return scan(*catalog, command, reporter);
    case CatalogAction::find: {
        std::string text;
        for (const auto& word : command.paths) {
            text += (text.empty() ? "" : " ") + word;
        }
        showFiles(catalog->find(text), reporter);
        return 0;
    }
    case CatalogAction::where:
        showFiles(where(*catalog, command.paths.front()), reporter);
        return 0;
    case CatalogAction::card:
        return card(*catalog, command, reporter);
    }
    return 1;
}

} // namespace quaymark::cli
