// SPDX-License-Identifier: GPL-3.0-or-later
#include "DestinationNames.h"

#include "UnicodeText.h"
#include "ingest/copy/UniqueFd.h"
#include "ingest/mhl/MhlDocuments.h"
#include "ingest/records/QuayError.h"
#include "ingest/records/Uuid.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utf8proc.h>

#include <array>
#include <map>

namespace quaymark::ImportEngine {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view fatRefused = "\"*:<>?\\|";
// Names in a plan that a refusal lists before it says how many more there are.
constexpr size_t listedNames = 10;

bool createProbe(int folder, const std::string& name) {
    const UniqueFd fd{
        ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)};
    return static_cast<bool>(fd);
}

bool refusedByte(unsigned char c) {
    return c < 0x20 || c == 0x7F || fatRefused.find(static_cast<char>(c)) != std::string::npos;
}

// Each valid UTF-8 sequence of `name` in turn; a byte that starts none comes alone, with
// `valid` false.
template <typename Visit>
void eachCharacter(std::string_view name, Visit visit) {
    while (!name.empty()) {
        utf8proc_int32_t codepoint = 0;
        const auto length =
            utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(name.data()),
                             static_cast<utf8proc_ssize_t>(name.size()), &codepoint);
        const size_t used = length > 0 ? static_cast<size_t>(length) : 1;
        visit(name.substr(0, used), length > 0);
        name.remove_prefix(used);
    }
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size() && i < listedNames; ++i) {
        text += (i == 0 ? "" : ", ") + UnicodeText::printable(names[i]);
    }
    if (names.size() > listedNames) {
        text += " and " + std::to_string(names.size() - listedNames) + " more";
    }
    return text;
}

// The import folder's own names, which a source file at its root must not take in any case.
constexpr std::array<std::string_view, 8> ownNames{
    ImportDocuments::journal,   ImportDocuments::receipt,   ImportDocuments::marker,
    ImportDocuments::lock,      ImportDocuments::reportCsv, ImportDocuments::reportHtml,
    ImportDocuments::reportPdf, AscMhl::folderName};

void checkOwnNames(const std::vector<SourceFile>& plan) {
    for (const auto& file : plan) {
        const std::string top = file.output.substr(0, file.output.find('/'));
        for (const auto own : ownNames) {
            // The card's own history folder, exactly so named, is the history's to carry.
            if (top != own && UnicodeText::nameKey(top) == UnicodeText::nameKey(own)) {
                throw QuayError::invalidLocation(
                    "The source holds “" + UnicodeText::printable(file.relative) +
                    "”, whose name is Quaymark's own “" + std::string(own) +
                    "” in another letter case. This destination ignores letter case, so one "
                    "would replace the other. Rename it on the source, then import again.");
            }
        }
    }
}

void checkFolding(const std::vector<SourceFile>& plan) {
    std::map<std::string, std::string> seen; // key -> the first name with it
    std::vector<std::string> twins;
    for (const auto& file : plan) {
        // A file may also fold into a folder of the same name.
        for (auto slash = file.output.find('/'); slash != std::string::npos;
             slash = file.output.find('/', slash + 1)) {
            const std::string folder = file.output.substr(0, slash);
            const auto [at, added] = seen.emplace(UnicodeText::nameKey(folder), folder);
            if (!added && at->second != folder) {
                twins.push_back(at->second + " and " + folder);
            }
        }
        const auto [at, added] = seen.emplace(UnicodeText::nameKey(file.output), file.output);
        if (!added) {
            twins.push_back(at->second + " and " + file.output);
        }
    }
    if (!twins.empty()) {
        throw QuayError::invalidLocation(
            "This destination ignores letter case, so these files would take each other's "
            "place: " +
            listed(twins) + ". Rename them on the source, or import video clips only.");
    }
}

} // namespace

NameRules probeNameRules(const fs::path& folder) {
    NameRules rules;
    const UniqueFd dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    const std::string probe = ".quaymark-probe-" + makeUuid();
    if (!dir || !createProbe(dir.get(), probe + "-a")) {
        return rules;
    }
    struct stat info {};
    rules.foldsCase = ::fstatat(dir.get(), (probe + "-A").c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    ::unlinkat(dir.get(), (probe + "-a").c_str(), 0);
    if (createProbe(dir.get(), probe + "-?")) {
        ::unlinkat(dir.get(), (probe + "-?").c_str(), 0);
    } else {
        rules.fatCharacters = true;
    }
    return rules;
}

bool fitsName(std::string_view name, const NameRules& rules) {
    return fittedName(name, rules) == name;
}

std::string fittedName(std::string_view name, const NameRules& rules) {
    if (!rules.fatCharacters) {
        return std::string(name);
    }
    std::string fitted;
    eachCharacter(name, [&](std::string_view character, bool valid) {
        const bool refused = !valid || (character.size() == 1 &&
                                        refusedByte(static_cast<unsigned char>(character[0])));
        fitted += refused ? std::string_view("_") : character;
    });
    return fitted;
}

void checkPlanNames(const std::vector<SourceFile>& plan, const NameRules& rules) {
    if (rules.fatCharacters) {
        std::vector<std::string> refused;
        for (const auto& file : plan) {
            for (const auto& part : fs::path(file.output)) {
                if (!fitsName(part.native(), rules)) {
                    refused.push_back(file.output);
                    break;
                }
            }
        }
        if (!refused.empty()) {
            throw QuayError::invalidLocation(
                "This destination cannot hold these names (it refuses \"*:<>?\\| , control "
                "characters and text that is not UTF-8): " +
                listed(refused) + ". Rename them on the source, or import video clips only.");
        }
    }
    if (rules.foldsCase) {
        checkOwnNames(plan);
        checkFolding(plan);
    }
}

} // namespace quaymark::ImportEngine
