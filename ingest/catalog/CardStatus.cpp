// SPDX-License-Identifier: GPL-3.0-or-later
#include "CardStatus.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>

namespace quaymark::catalog {

namespace {

using Key = std::tuple<std::string, std::int64_t, std::string>;

Key keyOf(const CardFile& file) {
    return {file.relative, file.bytes, modifiedText(file.modified)};
}

// The verified copies holding each (path, size, time), and each path's first known version.
struct Coverage {
    std::map<Key, std::set<std::size_t>> copies;
    std::map<std::string, const CopiedFile*> paths;

    explicit Coverage(const CatalogFiles& history) {
        for (const auto& file : history.files) {
            if (!history.copies[file.copy].checkFailed) {
                copies[keyOf(file.card)].insert(file.copy);
                paths.emplace(file.card.relative, &file);
            }
        }
    }

    const std::set<std::size_t>* holding(const CardFile& file) const {
        const auto found = copies.find(keyOf(file));
        return found == copies.end() ? nullptr : &found->second;
    }
};

std::string localText(Timestamp when, const char* format) {
    const std::time_t seconds = Clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    std::array<char, 64> text{};
    return {text.data(), std::strftime(text.data(), text.size(), format, &local)};
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
}

std::string counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string fileName(const std::string& relative) {
    return std::filesystem::path(relative).filename().string();
}

} // namespace

const char* toString(CardLookup::Kind kind) {
    switch (kind) {
    case CardLookup::Kind::alreadyImported:
        return "alreadyImported";
    case CardLookup::Kind::newFiles:
        return "newFiles";
    case CardLookup::Kind::reused:
        return "reused";
    case CardLookup::Kind::notImported:
        break;
    }
    return "notImported";
}

std::string dayAndTime(Timestamp when) {
    return localText(when, "%a %-d %b %H:%M");
}

CardLookup lookUpCard(const CatalogFiles& history, const std::vector<CardFile>& card) {
    const Coverage coverage(history);
    CardLookup lookup;
    std::set<std::size_t> holding;
    bool anyCovered = false;
    for (const auto& file : card) {
        if (const auto* copies = coverage.holding(file)) {
            anyCovered = true;
            holding.insert(copies->begin(), copies->end());
        } else if (const auto earlier = coverage.paths.find(file.relative);
                   earlier != coverage.paths.end()) {
            lookup.reusedPaths.push_back(file.relative);
            lookup.importedAt = history.copies[earlier->second->copy].importFinished;
        } else {
            lookup.newFiles.push_back(file.relative);
        }
    }
    if (!lookup.reusedPaths.empty()) {
        lookup.kind = CardLookup::Kind::reused;
        return lookup;
    }
    if (!anyCovered) {
        return lookup;
    }
    for (const std::size_t copy : holding) {
        const auto& found = history.copies[copy];
        if (!lookup.importedAt || found.importFinished > *lookup.importedAt) {
            lookup.importedAt = found.importFinished;
        }
        if (std::find(lookup.destinations.begin(), lookup.destinations.end(),
                      found.destinationLabel) == lookup.destinations.end()) {
            lookup.destinations.push_back(found.destinationLabel);
        }
    }
    lookup.kind =
        lookup.newFiles.empty() ? CardLookup::Kind::alreadyImported : CardLookup::Kind::newFiles;
    return lookup;
}

std::string noticeText(const CardLookup& lookup, bool videosOnly, Timestamp now) {
    switch (lookup.kind) {
    case CardLookup::Kind::notImported:
        return {};
    case CardLookup::Kind::alreadyImported:
        return "Already imported on " + dayAndTime(*lookup.importedAt) + " to " +
               listed(lookup.destinations) + " (verified).";
    case CardLookup::Kind::newFiles: {
        const bool today = localText(*lookup.importedAt, "%F") == localText(now, "%F");
        const int count = static_cast<int>(lookup.newFiles.size());
        return counted(count, videosOnly ? "new clip" : "new file",
                       videosOnly ? "new clips" : "new files") +
               " since the import of " +
               (today ? localText(*lookup.importedAt, "%H:%M") : dayAndTime(*lookup.importedAt)) +
               ".";
    }
    case CardLookup::Kind::reused: {
        const std::string name = fileName(lookup.reusedPaths.front());
        const std::size_t more = lookup.reusedPaths.size() - 1;
        return name + " differs from the " + name + " imported on " +
               localText(*lookup.importedAt, "%a %-d %b") +
               (more == 0
                    ? ""
                    : " (and " + counted(static_cast<int>(more), "more file", "more files") + ")") +
               ": this card was probably formatted and reused.";
    }
    }
    return {};
}

CardState cardState(const CatalogFiles& history, const std::vector<CardFile>& card, int required) {
    const Coverage coverage(history);
    CardState state;
    state.required = required;
    std::set<std::size_t> ofThisCard;
    bool uncovered = false;
    int fewestCopies = -1;
    int fewestDrives = -1;
    for (const auto& file : card) {
        const auto* copies = coverage.holding(file);
        if (!copies) {
            uncovered = true;
            continue;
        }
        ofThisCard.insert(copies->begin(), copies->end());
        std::set<std::string> drives;
        for (const std::size_t copy : *copies) {
            drives.insert(history.copies[copy].driveKey);
        }
        const int count = static_cast<int>(copies->size());
        const int driveCount = static_cast<int>(drives.size());
        fewestCopies = fewestCopies < 0 ? count : std::min(fewestCopies, count);
        fewestDrives = fewestDrives < 0 ? driveCount : std::min(fewestDrives, driveCount);
    }
    if (ofThisCard.empty()) {
        return state;
    }
    // A path that a copy of this card holds but the card no longer does was removed since. A
    // copy counts as one of this card when it shares an unchanged file with it: the copies of a
    // card that was formatted since share none.
    std::set<std::string> paths;
    for (const auto& file : card) {
        paths.insert(file.relative);
    }
    const bool removed =
        std::any_of(history.files.begin(), history.files.end(), [&](const auto& file) {
            return ofThisCard.count(file.copy) != 0 && paths.count(file.card.relative) == 0;
        });
    state.copies = std::max(fewestCopies, 0);
    state.drives = std::max(fewestDrives, 0);
    if (uncovered || removed) {
        state.kind = CardState::Kind::changed;
    } else {
        state.kind =
            state.drives >= required ? CardState::Kind::safeToFormat : CardState::Kind::copies;
    }
    return state;
}

std::string CardState::text() const {
    static const std::array<const char*, 6> numbers = {"no", "one", "two", "three", "four", "five"};
    const std::string copiesText = counted(copies, "verified copy", "verified copies");
    const std::string onDrives =
        copies == drives ? "" : " on " + counted(drives, "drive", "drives");
    switch (kind) {
    case Kind::notImported:
        return "Not imported";
    case Kind::importing:
        return "Importing";
    case Kind::changed:
        return "Changed since its import: not safe to format";
    case Kind::safeToFormat:
        return "Safe to format: " + copiesText + " on " + counted(drives, "drive", "drives");
    case Kind::copies: {
        const int missing = std::clamp(required - drives, 0, 5);
        return copiesText + onDrives + ": " + numbers[static_cast<std::size_t>(missing)] +
               (missing == 1 ? " more drive needed" : " more drives needed");
    }
    }
    return {};
}

} // namespace quaymark::catalog
