// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReleaseService.h"

#include "DownloadError.h"
#include "Utf8Text.h"
#include "ingest/copy/FileDigest.h"

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>
#include <sstream>

namespace quaymark {

namespace {

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

Release decodeRelease(const std::string& body) {
    const nlohmann::json document = nlohmann::json::parse(body);
    Release release;
    for (const nlohmann::json& item : document.at("assets")) {
        ReleaseAsset asset;
        item.at("name").get_to(asset.name);
        item.at("browser_download_url").get_to(asset.downloadUrl);
        // The service sends null for assets it has no digest of.
        if (const auto digest = item.find("digest"); digest != item.end() && !digest->is_null()) {
            asset.digest = digest->get<std::string>();
        }
        release.assets.push_back(std::move(asset));
    }
    return release;
}

void compare(const std::string& expected, const std::filesystem::path& file) {
    if (lowered(expected) != fileSha256(file)) {
        throw DownloadError(ToolsError::checksumMismatch,
                            "Helper checksum mismatch; installation stopped.");
    }
}

DownloadError noChecksum() {
    return DownloadError(ToolsError::noChecksum,
                         "The release has no SHA-256 checksum; installation was stopped.");
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> pieces;
    std::istringstream stream(line);
    for (std::string piece; stream >> piece;) {
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

// The checksum list's line for `name`: the one whose file name is `name` ("*" marks binary
// mode), else the first one that mentions it. A list names "yt-dlp_linux_aarch64" and
// "yt-dlp_linux.zip" too, so mentioning alone could pick another file's digest.
std::optional<std::string> lineFor(const std::string& text, const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(std::move(line));
    }
    for (const std::string& line : lines) {
        const std::vector<std::string> pieces = words(line);
        if (pieces.size() >= 2 && (pieces[1] == name || pieces[1] == "*" + name)) {
            return line;
        }
    }
    for (const std::string& line : lines) {
        if (line.find(name) != std::string::npos) {
            return line;
        }
    }
    return std::nullopt;
}

} // namespace

std::string fileSha256(const std::filesystem::path& file) {
    return ImportEngine::digest(file, CancellationFlag());
}

Release ReleaseService::latest(const std::string& repository) const {
    const std::string url = endpoints_.releaseApi + "/repos/" + repository + "/releases/latest";
    const HttpsClient::Response response = client_.fetch(url);
    if (response.status != 200) {
        throw DownloadError(NetworkError::badServerResponse,
                            "The release service answered with HTTP status " +
                                std::to_string(response.status) + " for " + repository + ".");
    }
    try {
        return decodeRelease(response.body);
    } catch (const nlohmann::json::exception& error) {
        throw DownloadError(NetworkError::cannotParseResponse,
                            "The latest release of " + repository +
                                " could not be read: " + error.what());
    }
}

const ReleaseAsset& ReleaseService::asset(const Release& release, const std::string& name,
                                          const std::string& repository) {
    const auto found = std::find_if(release.assets.begin(), release.assets.end(),
                                    [&](const ReleaseAsset& asset) { return asset.name == name; });
    if (found == release.assets.end()) {
        throw DownloadError(NetworkError::badURL, "The latest release of " + repository +
                                                      " has no file named " + name + ".");
    }
    return *found;
}

bool ReleaseService::onWebHost(const std::string& url) const {
    const UrlParts parts = parseUrl(url);
    return lowered(parts.scheme) == "https" &&
           lowered(parts.host) == lowered(endpoints_.releaseWebHost);
}

void ReleaseService::verify(const Release& release, const ReleaseAsset& asset,
                            const std::filesystem::path& file) const {
    constexpr std::string_view prefix = "sha256:";
    if (asset.digest && asset.digest->starts_with(prefix)) {
        compare(asset.digest->substr(prefix.size()), file);
        return;
    }
    const auto list = std::find_if(
        release.assets.begin(), release.assets.end(), [&](const ReleaseAsset& candidate) {
            return candidate.name == "SHA2-256SUMS" || candidate.name == asset.name + ".sha256sum";
        });
    if (list == release.assets.end() || !onWebHost(list->downloadUrl)) {
        throw noChecksum();
    }
    compare(listedDigest(*list, asset.name), file);
}

std::string ReleaseService::listedDigest(const ReleaseAsset& list,
                                         const std::string& assetName) const {
    // The status does not matter: an error page has no usable line either.
    const std::string text = validUtf8(client_.fetch(list.downloadUrl).body);
    const std::optional<std::string> line = lineFor(text, assetName);
    const std::vector<std::string> pieces = line ? words(*line) : std::vector<std::string>{};
    if (pieces.empty() || pieces.front().size() != 64) {
        throw DownloadError(NetworkError::cannotDecodeContentData,
                            list.name + " has no usable SHA-256 line for " + assetName + ".");
    }
    return pieces.front();
}

} // namespace quaymark
