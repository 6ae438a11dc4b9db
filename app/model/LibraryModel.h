// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/core/Background.h"
#include "ingest/records/CancellationFlag.h"
#include "report/ImportReport.h"

#include <QAbstractListModel>
#include <QString>
#include <QTimer>
#include <QVariantList>
#include <QtQmlIntegration/qqmlintegration.h>

#include <cstdint>
#include <filesystem>
#include <functional>

namespace quaymark {

// "Where are the copies": files of the catalog found by name, camera, card label, date or hash,
// each with every copy of it, and a new read-back of a copy on demand. Main thread only; the
// catalog is read on workers.
class LibraryModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The library comes from the import model.")
    Q_PROPERTY(QString query READ query WRITE setQuery NOTIFY queryChanged)
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // "No file in the catalog matches.", the outcome of a check, or why the catalog cannot be
    // read; empty otherwise.
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    // The import folder being read back, or the folder being scanned, now; empty when none is.
    Q_PROPERTY(QString checking READ checking NOTIFY checkingChanged)
    // The PDF of the last day report written; empty before.
    Q_PROPERTY(QString dayReport READ dayReport NOTIFY dayReportChanged)

public:
    enum Role { NameRole = Qt::UserRole + 1, PathRole, SizeRole, HashRole, DetailRole, CopiesRole };

    // A copy, as the "copies" role lists them: "destination", "folder", "path", "verified",
    // "connected" and "failure".
    struct Row {
        QString name;
        QString path;
        QString size;
        QString hash;
        QString detail; // camera and card
        QVariantList copies;
    };

    explicit LibraryModel(std::filesystem::path catalogFile, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    QString query() const { return query_; }
    // Searches once the typing pauses.
    void setQuery(const QString& query);
    int count() const { return static_cast<int>(rows_.size()); }
    QString status() const { return status_; }
    QString checking() const { return checking_; }

    Q_INVOKABLE void search();
    // Reads every file of the copy in `folder` back from its drive, compares it with the
    // receipt and records the outcome in the catalog.
    Q_INVOKABLE void verifyAgain(const QString& folder);
    // Records every verified import folder below `folder` (a drive, say) in the catalog: what
    // a deleted catalog forgot comes back.
    Q_INVOKABLE void scan(const QString& folder);
    // One report of every import the results come from (one connected copy each), cards in
    // time order, written to the reports folder.
    Q_INVOKABLE void writeDayReport();
    QString dayReport() const { return dayReport_; }
    void setHeading(report::ReportHeading heading) { heading_ = std::move(heading); }
    // Where day reports go; by default "Quaymark reports" in the user's documents.
    void setReportsFolder(std::filesystem::path folder) { reportsFolder_ = std::move(folder); }

signals:
    void queryChanged();
    void countChanged();
    void statusChanged();
    void checkingChanged();
    void dayReportChanged();

private:
    // Long work on one folder against the catalog; its outcome becomes the status.
    using Work = std::function<QString(const std::filesystem::path& catalogFile,
                                       const std::filesystem::path& folder,
                                       const CancellationFlag& cancellation)>;
    void runOn(const QString& folder, Work work);
    void setStatus(const QString& status);

    std::filesystem::path catalogFile_;
    QString query_;
    QTimer typing_;
    std::uint64_t request_ = 0;
    std::vector<Row> rows_;
    QString status_;
    QString checking_;
    QString dayReport_;
    QString pendingReport_; // the PDF the running work writes
    report::ReportHeading heading_;
    std::filesystem::path reportsFolder_;
    // The check of a copy; stopped and joined when the model goes.
    OwnedThreads checks_;
};

} // namespace quaymark
