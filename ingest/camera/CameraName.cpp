// SPDX-License-Identifier: GPL-3.0-or-later
#include "CameraName.h"

#include "CameraText.h"

#include <array>

namespace quaymark {

namespace {

// Tried in this order, once each, against the uppercased make.
constexpr std::array<std::u32string_view, 4> companySuffixes = {U" CORPORATION", U" CORP.",
                                                                U" INC.", U" INC"};

bool uppercasedEndsWith(std::u32string_view text, std::u32string_view suffix) {
    if (text.size() < suffix.size()) {
        return false;
    }
    const std::size_t start = text.size() - suffix.size();
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        // Simple mappings keep one scalar for one, so the dropped length below is exact.
        if (CameraText::uppercased(text[start + i]) != suffix[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<std::string> CameraName::normalized(std::optional<std::string_view> make,
                                                  std::optional<std::string_view> model) {
    if (!model) {
        return std::nullopt;
    }
    const std::u32string modelText = CameraText::decodeRepairing(*model);
    const std::u32string_view trimmedModel = CameraText::trimmedWhitespace(modelText);
    if (trimmedModel.empty() || CameraText::characterCount(trimmedModel) > longestModel) {
        return std::nullopt;
    }

    const std::u32string makeText = make ? CameraText::decodeRepairing(*make) : std::u32string();
    std::u32string_view trimmedMake = CameraText::trimmedWhitespace(makeText);
    for (std::u32string_view suffix : companySuffixes) {
        if (uppercasedEndsWith(trimmedMake, suffix)) {
            trimmedMake.remove_suffix(suffix.size());
            trimmedMake = CameraText::trimmedWhitespace(trimmedMake);
        }
    }

    const std::string modelName = CameraText::encode(trimmedModel);
    if (trimmedMake.empty()) {
        return modelName;
    }
    if (CameraText::caseFolded(trimmedModel).find(CameraText::caseFolded(trimmedMake)) !=
        std::string::npos) {
        return modelName;
    }
    return CameraText::encode(trimmedMake) + " " + modelName;
}

} // namespace quaymark
