// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportRecords.h"

#include <algorithm>
#include <array>

namespace quaymark {

namespace {
constexpr std::array<std::string_view, 4> phaseNames{"scanning", "copying", "verifying",
                                                     "finished"};
}

std::string_view toString(ImportPhase phase) {
    return phaseNames.at(static_cast<size_t>(phase));
}

double ImportProgress::fraction() const {
    if (phase == ImportPhase::finished) {
        return 1.0;
    }
    if (totalBytes < 1) {
        if (totalFiles < 1) {
            return 0.0;
        }
        return static_cast<double>(verifiedFiles) / static_cast<double>(totalFiles);
    }
    const double done = static_cast<double>(copiedBytes) + static_cast<double>(verifiedBytes);
    return std::min(1.0, done / (2.0 * static_cast<double>(totalBytes)));
}

std::string ImportDocuments::interruptedText(std::string_view description) {
    std::string text = "Import interrupted: ";
    text += description;
    text += "\nUse Retry / recover after reconnecting the original source and destination.\n";
    return text;
}

} // namespace quaymark
