// SPDX-License-Identifier: GPL-3.0-or-later
#include "MediaFormats.h"

#include "UnicodeText.h"

namespace quaymark {

const std::set<std::string, std::less<>>& MediaFormats::videoExtensions() {
    static const std::set<std::string, std::less<>> extensions{
        "mov",  "mp4", "m4v",  "mxf",  "r3d",  "nev", "braw", "crm", "avi",  "mts",
        "m2ts", "mpg", "mpeg", "insv", "cine", "ari", "arx",  "360", "webm", "mkv"};
    return extensions;
}

bool MediaFormats::isVideo(const std::filesystem::path& path) {
    const std::string extension = path.extension().string();
    if (extension.size() < 2) {
        return false;
    }
    // Every video extension is ASCII, so lower-casing ASCII letters decides membership.
    return videoExtensions().contains(UnicodeText::asciiLowercase(extension.substr(1)));
}

} // namespace quaymark
