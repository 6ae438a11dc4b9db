// SPDX-License-Identifier: GPL-3.0-or-later
#include "MountTable.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace quaymark::platform {

namespace {

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (start < line.size()) {
        const size_t end = line.find(' ', start);
        const size_t stop = end == std::string_view::npos ? line.size() : end;
        if (stop > start) {
            fields.push_back(line.substr(start, stop - start));
        }
        start = stop + 1;
    }
    return fields;
}

bool parseDevice(std::string_view text, unsigned& major, unsigned& minor) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    const char* end = text.data() + text.size();
    const auto first = std::from_chars(text.data(), text.data() + colon, major);
    const auto second = std::from_chars(text.data() + colon + 1, end, minor);
    return first.ec == std::errc() && first.ptr == text.data() + colon &&
           second.ec == std::errc() && second.ptr == end;
}

std::optional<MountEntry> parseLine(std::string_view line) {
    // id parent major:minor root mount-point options [optional fields...] - type source super
    const auto fields = splitFields(line);
    size_t separator = 6;
    while (separator < fields.size() && fields[separator] != "-") {
        ++separator;
    }
    if (fields.size() < 6 || separator + 2 >= fields.size()) {
        return std::nullopt;
    }
    MountEntry entry;
    if (std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), entry.mountId).ec !=
            std::errc() ||
        !parseDevice(fields[2], entry.major, entry.minor)) {
        return std::nullopt;
    }
    entry.root = unescapeMountField(fields[3]);
    entry.mountPoint = unescapeMountField(fields[4]);
    entry.fileSystem = unescapeMountField(fields[separator + 1]);
    entry.source = unescapeMountField(fields[separator + 2]);
    if (!entry.mountPoint.is_absolute()) {
        return std::nullopt;
    }
    return entry;
}

} // namespace

std::string unescapeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) &&
            isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 0xFF) {
                out.push_back(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (auto entry = parseLine(text.substr(start, end - start))) {
            mounts.push_back(std::move(*entry));
        }
        start = end + 1;
    }
    return mounts;
}

std::vector<MountEntry> readMountTable(const std::filesystem::path& mountInfo) {
    std::ifstream file(mountInfo, std::ios::binary);
    if (!file) {
        return {};
    }
    std::ostringstream text;
    text << file.rdbuf();
    return parseMountInfo(text.str());
}

bool isWithin(const std::filesystem::path& path, const std::filesystem::path& folder) {
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f) {
        if (f->empty()) {
            continue; // a trailing separator
        }
        if (p == path.end() || *p != *f) {
            return false;
        }
        ++p;
    }
    return true;
}

std::optional<MountEntry> mountContaining(const std::vector<MountEntry>& mounts,
                                          const std::filesystem::path& path) {
    const MountEntry* best = nullptr;
    size_t bestLength = 0;
    for (const auto& mount : mounts) {
        const auto point = mount.mountPoint.lexically_normal();
        const size_t length = static_cast<size_t>(std::distance(point.begin(), point.end()));
        if (isWithin(path, point) && (best == nullptr || length >= bestLength)) {
            best = &mount;
            bestLength = length;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    return *best;
}

} // namespace quaymark::platform
