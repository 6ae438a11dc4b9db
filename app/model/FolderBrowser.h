// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BrowserEntryModel.h"

#include <QObject>
#include <QString>
#include <QtQmlIntegration/qqmlintegration.h>

namespace quaymark {

// One folder's listing as a browser pane shows it: the entries, the error that replaced them,
// and whether a listing is being read. Folders are read on a worker, since a stalled network
// share must not hold up the window; only the newest listing asked for is shown.
class FolderBrowser : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Listings come from the import model.")
    Q_PROPERTY(quaymark::BrowserEntryModel* entries READ entries CONSTANT)
    Q_PROPERTY(QString error READ error NOTIFY changed)
    Q_PROPERTY(bool loading READ loading NOTIFY changed)

public:
    explicit FolderBrowser(QObject* parent = nullptr);

    BrowserEntryModel* entries() { return &entries_; }
    QString error() const { return error_; }
    bool loading() const { return loading_; }

    // Lists `folder`, only its video files when `videosOnly`; an empty folder lists nothing.
    void reload(const QString& folder, bool videosOnly);

signals:
    void changed();

private:
    BrowserEntryModel entries_;
    QString error_;
    bool loading_ = false;
    // Renewed at every reload; only the newest listing's result is applied.
    QString generation_;
};

} // namespace quaymark
