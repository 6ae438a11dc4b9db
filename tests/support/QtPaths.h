// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/PathText.h"

#include <QString>

#include <filesystem>

namespace quaymark::test {

// A path as the screens and models show it.
inline QString text(const std::filesystem::path& path) {
    return textOf(path);
}

} // namespace quaymark::test
