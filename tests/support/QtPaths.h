// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <filesystem>

namespace quaymark::test {

inline QString text(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

} // namespace quaymark::test
