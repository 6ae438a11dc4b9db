// SPDX-License-Identifier: GPL-3.0-or-later
#include "Catalog.h"
#include "ingest/records/IsoDate.h"
#include "ingest/records/StoredText.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace quaymark::catalog {

namespace {

bool isHexPrefix(const std::string& text, std::size_t shortest) {
    return text.size() >= shortest && text.size() <= 64 &&
           std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isxdigit(c) != 0; });
}

bool isDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0 || c == '-'; });
}

// Every word a prefix, each quoted so that no word is read as FTS5 syntax.
std::string wordsQuery(const std::string& text) {
    std::istringstream words(text);
    std::string word;
    std::string query;
    while (words >> word) {
        std::string quoted = "\"";
        for (const char c : word) {
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        query += (query.empty() ? "" : " ") + quoted + "\"*";
    }
    return query;
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Hex digits sort below "g": a prefix range that the hash indexes answer.
const char* const hashRange = "(files.sha256 >= ?1 AND files.sha256 < ?1 || 'g') OR "
                              "(files.xxh128 >= ?1 AND files.xxh128 < ?1 || 'g')";

} // namespace

CatalogFiles Catalog::select(const std::string& where,
                             const std::vector<std::optional<std::string>>& values, int limit) {
    Statement query = database_->prepare(
        "SELECT copies.id, copies.folder, destinations.label, drives.identity, imports.started, "
        "imports.finished, copies.verified, copies.check_failed, cards.label, imports.camera, "
        "files.relative, files.size, files.modified, files.output, files.sha256, files.xxh128 "
        "FROM files JOIN copies ON copies.id = files.copy_id "
        "JOIN imports ON imports.id = copies.import_id JOIN cards ON cards.id = imports.card_id "
        "JOIN destinations ON destinations.id = copies.destination_id "
        "JOIN drives ON drives.id = destinations.drive_id WHERE " +
        where + " ORDER BY files.relative, copies.folder LIMIT " + std::to_string(limit));
    const auto used = static_cast<std::size_t>(query.parameterCount());
    for (std::size_t i = 0; i < std::min(values.size(), used); ++i) {
        query.bind(static_cast<int>(i + 1), values[i]);
    }
    CatalogFiles result;
    std::map<std::int64_t, std::size_t> copyIndex;
    while (query.step()) {
        const auto [slot, added] = copyIndex.emplace(query.integer(0), result.copies.size());
        if (added) {
            result.copies.push_back(CatalogCopy{rawText(query.text(1)), rawText(query.text(2)),
                                                query.text(3), parseIsoDate(query.text(4)),
                                                parseIsoDate(query.text(5)),
                                                parseIsoDate(query.text(6)), query.optionalText(7),
                                                query.optionalText(8), query.optionalText(9)});
        }
        const auto modified = query.optionalText(12);
        result.files.push_back(
            CopiedFile{slot->second,
                       CardFile{rawText(query.text(10)), query.integer(11),
                                modified ? std::optional(parseIsoDate(*modified)) : std::nullopt},
                       rawText(query.text(13)), query.text(14), query.optionalText(15)});
    }
    return result;
}

std::vector<FoundFile> filesByContent(const CatalogFiles& found) {
    std::vector<FoundFile> files;
    std::map<std::pair<std::string, std::string>, std::size_t> index;
    for (std::size_t i = 0; i < found.files.size(); ++i) {
        const auto& file = found.files[i];
        const auto [slot, added] =
            index.emplace(std::pair(file.card.relative, file.sha256), files.size());
        if (added) {
            files.emplace_back();
        }
        files[slot->second].copies.push_back(i);
    }
    return files;
}

CatalogFiles Catalog::history(const CardIdentity& card, const std::string& source) {
    std::optional<std::string> capacity;
    if (card.capacity) {
        capacity = std::to_string(*card.capacity);
    }
    return select("cards.volume_uuid = ?1 OR (cards.label = ?2 AND cards.capacity = ?3) OR "
                  "(?1 IS NULL AND cards.volume_uuid IS NULL AND imports.source = ?4)",
                  {card.volumeUuid, card.label, capacity, storedText(source)}, -1);
}

CatalogFiles Catalog::find(const std::string& text, int limit) {
    std::vector<std::string> terms;
    const std::string words = wordsQuery(text);
    if (words.empty()) {
        return {};
    }
    terms.emplace_back("files.id IN (SELECT rowid FROM file_words WHERE file_words MATCH ?2)");
    // Not empty: the words above hold one.
    const std::size_t first = text.find_first_not_of(" \t");
    const std::string trimmed = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
    if (isHexPrefix(trimmed, 6)) {
        terms.emplace_back(hashRange);
    }
    if (isDate(trimmed)) {
        terms.emplace_back("date(imports.started, 'localtime') = ?3");
    }
    std::string where;
    for (const auto& term : terms) {
        where += (where.empty() ? "(" : " OR (") + term + ")";
    }
    return select(where, {lowered(trimmed), words, trimmed}, limit);
}

CatalogFiles Catalog::where(const std::string& hashOrPath, int limit) {
    if (isHexPrefix(hashOrPath, 8)) {
        return select(hashRange, {lowered(hashOrPath)}, limit);
    }
    // The path as the card names it, whole or by its last components.
    return select("files.relative = ?1 OR (length(files.relative) > length(?1) AND "
                  "substr(files.relative, -length(?1) - 1) = '/' || ?1)",
                  {storedText(hashOrPath)}, limit);
}

} // namespace quaymark::catalog
