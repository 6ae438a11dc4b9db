// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace quaymark {

// A folder the user chose, as the preferences and the projects file keep it: its path and,
// where one could be made, a bookmark.
struct SavedLocation {
    QString path;
    std::optional<QByteArray> bookmark;

    bool operator==(const SavedLocation&) const = default;
};

} // namespace quaymark
