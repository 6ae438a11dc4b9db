// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace quaymark {

// One row of a folder listing. Symbolic links are described themselves, never their targets:
// a link to a folder is not a directory, and its size is not reported.
struct BrowserEntry {
    QString path; // absolute
    bool isDirectory = false;
    bool isSymbolicLink = false;
    qint64 bytes = 0; // 0 when not reported (directories, links, special files)
    std::optional<QDateTime> modified;

    bool operator==(const BrowserEntry&) const = default;
};

struct DirectoryListing {
    QList<BrowserEntry> entries;
    std::optional<QString> error; // the failure's description; entries are empty then
};

// Blocking; call it off the main thread. With `videosOnly`, the clips anywhere below `folder`
// as the import would find them, flat; otherwise the folder's direct entries, hidden ones
// skipped. Directories come first, then names in numeric-aware, case-insensitive order. Any
// failure gives no entries and the platform's description of it.
DirectoryListing readDirectory(const QString& folder, bool videosOnly);

} // namespace quaymark
