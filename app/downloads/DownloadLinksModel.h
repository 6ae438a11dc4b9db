// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>
#include <QVariantList>
#include <QtQmlIntegration/qqmlintegration.h>

namespace quaymark {

// The selected project's links for the screen's list. Progress reports change rows in place,
// so a row keeps its scroll position, hover and text selection while its link downloads.
class DownloadLinksModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Rows come from the download model.")
public:
    enum Role { LinkRole = Qt::UserRole + 1, LinkIdRole };

    explicit DownloadLinksModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Link maps with an "id" each: the same links in the same order update their rows; any
    // other change resets the list.
    void set(const QVariantList& links);

protected:
    // Rows under other role names, for lists of other records with an "id".
    DownloadLinksModel(QByteArray itemRole, QByteArray idRole, QObject* parent);

private:
    QVariantList links_;
    QHash<int, QByteArray> roles_;
};

// The project list beside the links: a download run changes a project's row in place (its
// count), so a row keeps its hover, focus and clicks while links download.
class DownloadProjectsModel : public DownloadLinksModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Rows come from the download model.")
public:
    enum Role { ProjectRole = LinkRole, ProjectIdRole = LinkIdRole };

    explicit DownloadProjectsModel(QObject* parent = nullptr)
        : DownloadLinksModel(QByteArrayLiteral("project"), QByteArrayLiteral("projectId"), parent) {
    }
};

} // namespace quaymark
