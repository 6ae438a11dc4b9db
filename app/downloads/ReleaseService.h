// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HttpsClient.h"
#include "ToolSources.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quaymark {

struct ReleaseAsset {
    std::string name;
    std::string downloadUrl;
    // "sha256:" and the hex digest, when the service states one.
    std::optional<std::string> digest;
};

struct Release {
    std::vector<ReleaseAsset> assets;
};

// The release service: latest releases, their assets and the checksums they publish.
class ReleaseService {
public:
    ReleaseService(const HttpsClient& client, const ToolEndpoints& endpoints)
        : client_(client)
        , endpoints_(endpoints) {}

    // Throws badServerResponse for a status other than 200, cannotParseResponse for a body
    // that is not a release.
    Release latest(const std::string& repository) const;

    // The first asset named exactly `name`; badURL when there is none.
    static const ReleaseAsset& asset(const Release& release, const std::string& name,
                                     const std::string& repository);

    // Whether `url` is an HTTPS address on the release service's own web host.
    bool onWebHost(const std::string& url) const;

    // Checks the downloaded `file` of `asset` against the digest the release states, else
    // against its checksum list. Throws the "Quaymark.Tools" errors on a mismatch or without
    // any checksum, cannotDecodeContentData for a list without a usable line.
    void verify(const Release& release, const ReleaseAsset& asset,
                const std::filesystem::path& file) const;

private:
    std::string listedDigest(const ReleaseAsset& list, const std::string& assetName) const;

    const HttpsClient& client_;
    const ToolEndpoints& endpoints_;
};

// The SHA-256 of a file as 64 lower-case hex digits.
std::string fileSha256(const std::filesystem::path& file);

} // namespace quaymark
