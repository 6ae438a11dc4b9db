// SPDX-License-Identifier: GPL-3.0-or-later
#include "BrowserEntryModel.h"

#include "ingest/scan/MediaFormats.h"

#include <QFile>

namespace quaymark {

void BrowserEntryModel::setEntries(QList<BrowserEntry> entries) {
    if (entries == entries_) {
        return;
    }
    const qsizetype before = entries_.size();
    beginResetModel();
    entries_ = std::move(entries);
    endResetModel();
    if (entries_.size() != before) {
        emit countChanged();
    }
}

int BrowserEntryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(entries_.size());
}

QVariant BrowserEntryModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const BrowserEntry& entry = entries_.at(index.row());
    const auto name = [&] { return entry.path.section(QLatin1Char('/'), -1); };
    switch (role) {
    case PathRole:
        return entry.path;
    case Qt::DisplayRole:
    case NameRole:
        return name();
    case IsDirectoryRole:
        return entry.isDirectory;
    case IsSymbolicLinkRole:
        return entry.isSymbolicLink;
    case BytesRole:
        return entry.bytes;
    case ModifiedRole:
        return entry.modified.value_or(QDateTime());
    case IsVideoRole:
        // A folder named like a clip is still a folder.
        return !entry.isDirectory && MediaFormats::isVideo(QFile::encodeName(name()).toStdString());
    default:
        return {};
    }
}

QHash<int, QByteArray> BrowserEntryModel::roleNames() const {
    return {
        {PathRole, "path"},
        {NameRole, "name"},
        {IsDirectoryRole, "isDirectory"},
        {IsSymbolicLinkRole, "isSymbolicLink"},
        {BytesRole, "bytes"},
        {ModifiedRole, "modified"},
        {IsVideoRole, "isVideo"},
    };
}

} // namespace quaymark
