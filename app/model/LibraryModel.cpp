// SPDX-License-Identifier: GPL-3.0-or-later
#include "LibraryModel.h"

#include "CatalogWork.h"
#include "app/core/PathText.h"
#include "ingest/catalog/CardStatus.h"
#include "ingest/engine/ReceiptCheck.h"
#include "ingest/scan/FileSize.h"

#include <QDateTime>
#include <QFileInfo>
#include <QStandardPaths>

#include <map>
#include <set>

namespace fs = std::filesystem;

namespace quaymark {

namespace {

struct Found {
    std::vector<LibraryModel::Row> rows;
    QString problem;
};

QVariantMap copyOf(const catalog::CatalogCopy& copy, const std::string& output) {
    std::error_code error;
    return {
        {QStringLiteral("destination"), QString::fromStdString(copy.destinationLabel)},
        {QStringLiteral("folder"), textOf(copy.folder)},
        {QStringLiteral("path"), textOf(copy.folder / output)},
        {QStringLiteral("verified"), QString::fromStdString(catalog::dayAndTime(copy.verified))},
        {QStringLiteral("connected"), fs::is_directory(copy.folder, error)},
        {QStringLiteral("failure"), QString::fromStdString(copy.checkFailed.value_or(""))}};
}

Found find(const fs::path& catalogFile, const std::string& text) {
    Found found;
    try {
        catalog::Catalog catalog(CatalogWork::fileOf(catalogFile));
        const auto files = catalog.find(text);
        for (const auto& entry : catalog::filesByContent(files)) {
            const auto& first = files.files[entry.copies.front()];
            const auto& copy = files.copies[first.copy];
            LibraryModel::Row row{
                QString::fromStdString(fs::path(first.card.relative).filename().string()),
                QString::fromStdString(first.card.relative),
                QString::fromStdString(formatFileSize(first.card.bytes)),
                QString::fromStdString(first.sha256.substr(0, 12)),
                QString::fromStdString(copy.camera.value_or("") +
                                       (copy.cardLabel ? " · " + *copy.cardLabel : "")),
                {}};
            for (const std::size_t index : entry.copies) {
                const auto& file = files.files[index];
                row.copies.append(copyOf(files.copies[file.copy], file.output));
            }
            found.rows.push_back(std::move(row));
        }
        if (found.rows.empty()) {
            found.problem = QStringLiteral("No file in the catalog matches.");
        }
    } catch (const std::exception& error) {
        found.problem = u"The catalog cannot be read: " + QString::fromStdString(error.what());
    }
    return found;
}

// The receipt check of one copy, recorded in the catalog; the outcome in words.
QString dayReportOf(const std::vector<fs::path>& folders, const report::ReportHeading& heading,
                    const fs::path& base, const CancellationFlag& cancellation) {
    try {
        const report::Thumbnailer previews(report::Thumbnailer::installed());
        std::vector<report::ImportReport> imports;
        for (const auto& folder : folders) {
            imports.push_back(report::readImportReport(folder, cancellation, &previews));
        }
        fs::create_directories(base.parent_path());
        return u"Day report written: " +
               textOf(report::writeDayReport(std::move(imports), heading, base));
    } catch (const std::exception& error) {
        return u"The day report was not written: " + QString::fromStdString(error.what());
    }
}

QString checkCopy(const fs::path& catalogFile, const fs::path& folder,
                  const CancellationFlag& cancellation) {
    try {
        const auto claims = ImportEngine::readClaims(folder);
        std::set<std::string> damaged;
        ImportEngine::checkFolder(
            folder, claims, cancellation,
            [&](const ImportEngine::ReceiptFinding& finding) {
                if (ImportEngine::isProblem(finding.state)) {
                    damaged.insert(finding.path);
                }
            },
            [](std::size_t) {});
        const auto problems = static_cast<qsizetype>(damaged.size());
        const QString count = QString::number(claims.receipt.files.size());
        const QString outcome =
            problems == 0
                ? QString(u"All " + count + u" files in " + textOf(folder) + u" match the receipt.")
                : QString(QString::number(problems) + u" of " + count + u" files in " +
                          textOf(folder) +
                          (problems == 1 ? u" no longer matches" : u" no longer match") +
                          u" the receipt.");
        catalog::Catalog(CatalogWork::fileOf(catalogFile))
            .recordCheck(folder, Clock::now(),
                         problems == 0 ? std::nullopt
                                       : std::optional<std::string>(
                                             "The files no longer match the receipt."));
        return outcome;
    } catch (const std::exception& error) {
        return u"The copy in " + textOf(folder) + u" was not checked: " +
               QString::fromStdString(error.what());
    }
}

} // namespace

LibraryModel::LibraryModel(fs::path catalogFile, QObject* parent)
    : QAbstractListModel(parent)
    , catalogFile_(std::move(catalogFile)) {
    typing_.setSingleShot(true);
    typing_.setInterval(250);
    connect(&typing_, &QTimer::timeout, this, &LibraryModel::search);
}

int LibraryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

QVariant LibraryModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case NameRole:
        return row.name;
    case PathRole:
        return row.path;
    case SizeRole:
        return row.size;
    case HashRole:
        return row.hash;
    case DetailRole:
        return row.detail;
    case CopiesRole:
        return row.copies;
    default:
        return {};
    }
}

QHash<int, QByteArray> LibraryModel::roleNames() const {
    return {{NameRole, "name"}, {PathRole, "path"},     {SizeRole, "size"},
            {HashRole, "hash"}, {DetailRole, "detail"}, {CopiesRole, "copies"}};
}

void LibraryModel::setQuery(const QString& query) {
    if (query != query_) {
        query_ = query;
        emit queryChanged();
        typing_.start();
    }
}

void LibraryModel::setStatus(const QString& status) {
    if (status != status_) {
        status_ = status;
        emit statusChanged();
    }
}

void LibraryModel::search() {
    typing_.stop();
    const std::uint64_t request = ++request_;
    runInBackground(
        this,
        [catalogFile = catalogFile_, text = query_.trimmed().toStdString()] {
            return text.empty() ? Found{} : find(catalogFile, text);
        },
        [request](LibraryModel& model, Found found) {
            if (request != model.request_) {
                return;
            }
            model.beginResetModel();
            model.rows_ = std::move(found.rows);
            model.endResetModel();
            emit model.countChanged();
            model.setStatus(found.problem);
        });
}

void LibraryModel::verifyAgain(const QString& folder) {
    runOn(folder, &checkCopy);
}

void LibraryModel::scan(const QString& folder) {
    runOn(folder, &CatalogWork::scanFolder);
}

void LibraryModel::writeDayReport() {
    // One connected copy of each import: the same import folder name on every destination.
    std::map<QString, std::filesystem::path> imports;
    for (const Row& row : rows_) {
        for (const QVariant& copy : row.copies) {
            const QVariantMap fields = copy.toMap();
            const QString folder = fields.value(QStringLiteral("folder")).toString();
            if (fields.value(QStringLiteral("connected")).toBool() && !folder.isEmpty()) {
                imports.try_emplace(QFileInfo(folder).fileName(), pathOf(folder));
            }
        }
    }
    if (imports.empty()) {
        setStatus(QStringLiteral("No import of these files is on a connected drive."));
        return;
    }
    std::vector<std::filesystem::path> folders;
    for (const auto& [name, folder] : imports) {
        folders.push_back(folder);
    }
    const std::filesystem::path base =
        (reportsFolder_.empty()
             ? pathOf(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)) /
                   "Quaymark reports"
             : reportsFolder_) /
        pathOf(u"Day report " +
               QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HHmmss")));
    if (!checking_.isEmpty()) {
        return;
    }
    pendingReport_ = textOf(base) + u".pdf";
    runOn(QStringLiteral("Day report"),
          [folders, base, heading = heading_](const fs::path&, const fs::path&,
                                              const CancellationFlag& cancellation) {
              return dayReportOf(folders, heading, base, cancellation);
          });
}

void LibraryModel::runOn(const QString& folder, Work work) {
    if (!checking_.isEmpty()) {
        return;
    }
    checking_ = folder;
    emit checkingChanged();
    checks_.start(this, [catalogFile = catalogFile_, path = pathOf(folder),
                         work](std::stop_token stop, auto post) {
        CancellationFlag cancellation;
        std::stop_callback cancelOnStop(stop, [&cancellation] { cancellation.cancel(); });
        const QString outcome = work(catalogFile, path, cancellation);
        post([outcome](LibraryModel& model) {
            model.checking_.clear();
            emit model.checkingChanged();
            if (!model.pendingReport_.isEmpty() && QFileInfo::exists(model.pendingReport_)) {
                model.dayReport_ = model.pendingReport_;
                emit model.dayReportChanged();
            }
            model.pendingReport_.clear();
            model.search();
            model.setStatus(outcome);
        });
    });
}

} // namespace quaymark
