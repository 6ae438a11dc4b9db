// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BrowserEntry.h"

#include <QAbstractListModel>
#include <QtQmlIntegration/qqmlintegration.h>

namespace quaymark {

// A folder listing for QML, one row per entry.
class BrowserEntryModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Listings come from the import model.")
    Q_PROPERTY(int count READ rowCount NOTIFY countChanged)

public:
    enum Role {
        PathRole = Qt::UserRole + 1,
        NameRole,
        IsDirectoryRole,
        IsSymbolicLinkRole,
        BytesRole,
        ModifiedRole,
        IsVideoRole,
    };

    using QAbstractListModel::QAbstractListModel;

    // Replaces every row; an identical listing (a reload that found no change) leaves the view
    // and its scroll position alone.
    void setEntries(QList<BrowserEntry> entries);
    const QList<BrowserEntry>& entries() const { return entries_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void countChanged();

private:
    QList<BrowserEntry> entries_;
};

} // namespace quaymark
