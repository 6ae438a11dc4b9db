#pragma once

#include <QAbstractListModel>
#include <QVariantList>

namespace quaymark {

// The selected project's links for the screen's list. Progress reports change rows in place,
// so a row keeps its scroll position, hover and text selection while its link downloads.
class DownloadLinksModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { LinkRole = Qt::UserRole + 1, LinkIdRole };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Link maps with an "id" each: the same links in the same order update their rows; any
    // other change resets the list.
    void set(const QVariantList& links);

private:
    QVariantList links_;
};

} // namespace quaymark
