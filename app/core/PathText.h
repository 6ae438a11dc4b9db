// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <filesystem>

namespace quaymark {

// A path as the system holds it (bytes) from the text the interface shows, and back.
inline std::filesystem::path pathOf(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

inline QString textOf(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

} // namespace quaymark
