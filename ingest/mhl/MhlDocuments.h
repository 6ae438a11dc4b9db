// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/records/ImportRecords.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quaymark::AscMhl {

inline constexpr std::string_view folderName = "ascmhl";
inline constexpr std::string_view chainName = "ascmhl_chain.xml";
inline constexpr std::string_view manifestNamespace = "urn:ASC:MHL:v2.0";
inline constexpr std::string_view chainNamespace = "urn:ASC:MHL:DIRECTORY:v2.0";

// How a generation came to its hash of a file, in the format's words.
namespace Action {
inline constexpr std::string_view original = "original";
inline constexpr std::string_view verified = "verified";
inline constexpr std::string_view failed = "failed";
} // namespace Action

struct HashEntry {
    std::string path; // relative to the folder the history describes, "/"-separated
    std::int64_t size = 0;
    std::optional<Timestamp> modified;
    std::string xxh128;
    std::string_view action = Action::original;
};

// A folder's hashes: of the content of everything inside, and of the names of everything inside.
struct DirectoryHash {
    std::string path; // "." for the folder the history describes
    std::string content;
    std::string structure;
};

// One generation of a history: what a transfer found, and when.
struct Manifest {
    Timestamp created;
    std::string hostName;
    std::string toolName;
    std::string toolVersion;
    std::vector<std::string> ignorePatterns;
    std::vector<HashEntry> hashes;
};

struct ChainEntry {
    std::int64_t sequence = 0;
    std::string path; // the manifest's name inside the history folder
    std::string c4;
};

// What an earlier generation holds that a later one needs.
struct RecordedManifest {
    std::vector<std::string> ignorePatterns;
    // Path to its XXH3-128 value, for the files that have one.
    std::map<std::string, std::string> xxh128;
};

// Documents in the published ASC MHL v2.0 form; text is escaped by the XML library. A manifest
// carries the directory hashes of its files, the root's among them: tools that read the history
// rely on it.
std::string writeManifest(const Manifest& manifest);
std::string writeChain(const std::vector<ChainEntry>& chain);

// Reading throws std::runtime_error for a document that is not such a history file.
RecordedManifest readManifest(std::string_view xml);
std::vector<ChainEntry> readChain(std::string_view xml);

// "2025-03-01T09:30:00+00:00", the form the format's own tools write.
std::string formatDate(Timestamp date);

// True when a text can stand in an XML document: valid UTF-8 without control characters.
bool xmlSafe(std::string_view text);

} // namespace quaymark::AscMhl
