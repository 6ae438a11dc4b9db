// SPDX-License-Identifier: GPL-3.0-or-later
#include "DirectoryHashes.h"

#include "ingest/records/Xxh128.h"

#include <fnmatch.h>

#include <algorithm>
#include <map>
#include <stdexcept>

namespace quaymark {

namespace {

std::vector<std::string> pathParts(std::string_view path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = std::min(path.find('/', start), path.size());
        if (end > start) {
            parts.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

// The tools match their gitignore-style patterns against absolute paths, so a pattern with an
// inner slash never matches there, and one without names a file or folder at any depth.
bool ignored(const std::string& name, bool folder, const std::vector<std::string>& patterns) {
    for (std::string pattern : patterns) {
        const bool foldersOnly = pattern.ends_with('/');
        if (foldersOnly) {
            pattern.pop_back();
        }
        if (pattern.starts_with("**/")) {
            pattern.erase(0, 3);
        }
        if (pattern.empty() || pattern.starts_with('!') || pattern.find('/') != std::string::npos ||
            (foldersOnly && !folder)) {
            continue;
        }
        if (::fnmatch(pattern.c_str(), name.c_str(), 0) == 0) {
            return true;
        }
    }
    return false;
}

std::string bytesOf(const std::string& hex) {
    if (hex.size() != 32) {
        throw std::runtime_error("not an XXH3-128 digest: " + hex);
    }
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// The digests sorted, duplicates kept, and hashed once as one run of raw bytes: an empty
// folder's value is the hash of nothing.
std::string listDigest(std::vector<std::string> digests) {
    std::sort(digests.begin(), digests.end());
    std::string data;
    for (const auto& digest : digests) {
        data += bytesOf(digest);
    }
    return Xxh128::hex(data);
}

struct Folder {
    std::map<std::string, std::string> files; // name -> XXH3-128
    std::map<std::string, Folder> folders;
};

// Children before their parent; returns the folder's own hashes.
AscMhl::DirectoryHash hashFolder(const Folder& folder, const std::string& path,
                                 std::vector<AscMhl::DirectoryHash>& out) {
    std::vector<std::string> contents;
    std::vector<std::string> names;
    // A name counts with the file's hash, or with the folder's structure hash.
    for (const auto& [name, digest] : folder.files) {
        contents.push_back(digest);
        names.push_back(Xxh128::hex(name + bytesOf(digest)));
    }
    for (const auto& [name, child] : folder.folders) {
        const auto hashes = hashFolder(child, path == "." ? name : path + "/" + name, out);
        contents.push_back(hashes.content);
        names.push_back(Xxh128::hex(name + bytesOf(hashes.structure)));
    }
    out.push_back({path, listDigest(std::move(contents)), listDigest(std::move(names))});
    return out.back();
}

} // namespace

std::vector<AscMhl::DirectoryHash>
AscMhl::directoryHashes(const std::vector<HashEntry>& files,
                        const std::vector<std::string>& ignorePatterns) {
    Folder root;
    for (const auto& file : files) {
        const std::vector<std::string> parts = pathParts(file.path);
        // A folder that holds only ignored files is still there for the tools to walk.
        Folder* folder = &root;
        for (size_t i = 0; folder && i < parts.size(); ++i) {
            const bool last = i + 1 == parts.size();
            if (ignored(parts[i], !last, ignorePatterns)) {
                folder = nullptr;
            } else if (last) {
                folder->files[parts[i]] = file.xxh128;
            } else {
                folder = &folder->folders[parts[i]];
            }
        }
    }
    std::vector<DirectoryHash> hashes;
    hashFolder(root, ".", hashes);
    std::rotate(hashes.rbegin(), hashes.rbegin() + 1, hashes.rend());
    return hashes;
}

} // namespace quaymark
