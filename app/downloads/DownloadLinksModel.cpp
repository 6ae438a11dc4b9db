// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadLinksModel.h"

#include <QVariantMap>

namespace quaymark {

namespace {

QString idOf(const QVariant& link) {
    return link.toMap().value(QStringLiteral("id")).toString();
}

bool sameLinks(const QVariantList& a, const QVariantList& b) {
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(),
                      [](const QVariant& x, const QVariant& y) { return idOf(x) == idOf(y); });
}

} // namespace

DownloadLinksModel::DownloadLinksModel(QObject* parent)
    : DownloadLinksModel(QByteArrayLiteral("link"), QByteArrayLiteral("linkId"), parent) {}

DownloadLinksModel::DownloadLinksModel(QByteArray itemRole, QByteArray idRole, QObject* parent)
    : QAbstractListModel(parent)
    , roles_{{LinkRole, std::move(itemRole)}, {LinkIdRole, std::move(idRole)}} {}

int DownloadLinksModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(links_.size());
}

QVariant DownloadLinksModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const QVariant& link = links_.at(index.row());
    switch (role) {
    case LinkRole:
        return link;
    case LinkIdRole:
        return idOf(link);
    default:
        return {};
    }
}

QHash<int, QByteArray> DownloadLinksModel::roleNames() const {
    return roles_;
}

void DownloadLinksModel::set(const QVariantList& links) {
    if (!sameLinks(links_, links)) {
        beginResetModel();
        links_ = links;
        endResetModel();
        return;
    }
    for (qsizetype row = 0; row < links.size(); ++row) {
        if (links_[row] != links[row]) {
            links_[row] = links[row];
            const QModelIndex changed = index(static_cast<int>(row));
            emit dataChanged(changed, changed, {LinkRole});
        }
    }
}

} // namespace quaymark
