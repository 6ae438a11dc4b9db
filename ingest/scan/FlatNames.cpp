// SPDX-License-Identifier: GPL-3.0-or-later
#include "FlatNames.h"

#include "UnicodeText.h"
#include "ingest/records/Sha256.h"

#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace quaymark {

namespace {

// Longest base name, in UTF-8 bytes, kept before the hash suffix.
constexpr size_t maxBaseBytes = 180;

struct NameParts {
    std::string_view base;
    std::string_view extension;
};

// Planned clips always have an extension; a name without one keeps it all as its base.
NameParts split(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {name, {}};
    }
    return {name.substr(0, dot), name.substr(dot + 1)};
}

std::string withExtension(std::string name, std::string_view extension) {
    if (!extension.empty()) {
        name += '.';
        name += extension;
    }
    return name;
}

} // namespace

void ImportEngine::assignFlatNames(std::vector<SourceFile>& plan, const NameRules& rules) {
    std::unordered_map<std::string, int> counts;
    for (auto& file : plan) {
        file.output = fittedName(file.output, rules);
        ++counts[UnicodeText::nameKey(file.output)];
    }
    std::unordered_set<std::string> used;
    for (auto& file : plan) {
        const auto [base, extension] = split(file.output);
        std::string name = file.output;
        std::string key = UnicodeText::nameKey(name);
        if (counts[key] >= 2) {
            const auto hash = Sha256::hex(file.relative).substr(0, 12);
            name = withExtension(
                std::string(UnicodeText::prefixWithin(base, maxBaseBytes)) + "_" + hash, extension);
            key = UnicodeText::nameKey(name);
        }
        for (int attempt = 1; used.contains(key); ++attempt) {
            const auto hash =
                Sha256::hex(file.relative + "#" + std::to_string(attempt)).substr(0, 20);
            name = withExtension("clip_" + hash, extension);
            key = UnicodeText::nameKey(name);
        }
        used.insert(std::move(key));
        file.output = std::move(name);
    }
}

} // namespace quaymark
