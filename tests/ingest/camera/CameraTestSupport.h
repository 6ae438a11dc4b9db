// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// QuickTime atoms built byte by byte, for the camera tests.
namespace quaymark::test {

inline std::string be32(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

inline std::string be64(std::uint64_t value) {
    return be32(static_cast<std::uint32_t>(value >> 32)) + be32(static_cast<std::uint32_t>(value));
}

// `type` is four bytes: a name, or be32(index) for an ilst item.
inline std::string atom(std::string_view type, std::string_view payload) {
    return be32(static_cast<std::uint32_t>(8 + payload.size())) + std::string(type) +
           std::string(payload);
}

// An atom whose payload starts with the version-and-flags word.
inline std::string fullAtom(std::string_view type, std::string_view payload) {
    return atom(type, std::string(4, '\0') + std::string(payload));
}

inline std::string keysAtom(const std::vector<std::string>& names) {
    std::string entries = be32(static_cast<std::uint32_t>(names.size()));
    for (const std::string& name : names) {
        entries += be32(static_cast<std::uint32_t>(8 + name.size())) + "mdta" + name;
    }
    return fullAtom("keys", entries);
}

// One UTF-8 value (type indicator 1, locale 0).
inline std::string dataAtom(std::string_view value) {
    return atom("data", be32(1) + be32(0) + std::string(value));
}

inline std::string itemAtom(std::uint32_t index, std::string_view value) {
    return atom(be32(index), dataAtom(value));
}

// A meta atom as cameras write it: hdlr, then the given keys atom, then an ilst of the items.
inline std::string metaAtomWithKeys(std::string_view keys, std::string_view items) {
    return fullAtom("meta", fullAtom("hdlr", std::string(25, '\0')) + std::string(keys) +
                                atom("ilst", items));
}

inline std::string metaAtom(const std::vector<std::string>& keys, std::string_view items) {
    return metaAtomWithKeys(keysAtom(keys), items);
}

inline std::string makeModelMeta(std::string_view make, std::string_view model) {
    return metaAtom({"com.apple.quicktime.make", "com.apple.quicktime.model"},
                    itemAtom(1, make) + itemAtom(2, model));
}

inline std::string ftyp() {
    return atom("ftyp", "qt  " + be32(0x200) + "qt  ");
}

inline std::string clipWithUdtaMeta(std::string_view meta) {
    return ftyp() + atom("moov", atom("udta", meta));
}

} // namespace quaymark::test
