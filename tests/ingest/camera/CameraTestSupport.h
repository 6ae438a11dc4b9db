#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Byte builders for QuickTime atoms and a runner for ffmpeg, shared by the camera tests.
namespace quaymark::test {

std::string be32(std::uint32_t value);
std::string be64(std::uint64_t value);

// An atom with a 32-bit size; `type` is four bytes (a name, or be32(index) inside ilst).
std::string atom(std::string_view type, std::string_view payload);
// An atom with 32-bit size 1 and a 64-bit size.
std::string atom64(std::string_view type, std::string_view payload);
// An atom whose payload starts with the version-and-flags word.
std::string fullAtom(std::string_view type, std::string_view payload);

// A "keys" atom with "mdta" entries.
std::string keysAtom(const std::vector<std::string>& names);
// An "ilst" item for a 1-based key index with one "data" value (type indicator 1, UTF-8).
std::string itemAtom(std::uint32_t index, std::string_view value);
std::string dataAtom(std::string_view value);
// A "meta" atom with hdlr, the keys and an ilst of the given items.
std::string metaAtom(const std::vector<std::string>& keys, std::string_view items);
// The keys for make and model with two items, or only those given.
std::string makeModelMeta(std::optional<std::string> make, std::optional<std::string> model);
// ftyp + moov(udta(meta)).
std::string clipWithUdtaMeta(std::string_view meta);
std::string ftyp();

// The ffmpeg executable on PATH, or nothing.
std::optional<std::filesystem::path> findFfmpeg();
// Runs ffmpeg as a child process with these arguments (after "-v error -y"); true on exit 0.
bool runFfmpeg(const std::vector<std::string>& arguments);
// A 0.1 s black clip with the given extra arguments before the output file.
bool makeClip(const std::filesystem::path& output, const std::vector<std::string>& metadata);

} // namespace quaymark::test
