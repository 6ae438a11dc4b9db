// SPDX-License-Identifier: GPL-3.0-or-later
#include "BrowserEntry.h"

#include "ingest/records/QuayError.h"
#include "ingest/scan/SourceScan.h"

#include <QCollator>
#include <QFile>
#include <QLocale>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace quaymark {
namespace {

namespace fs = std::filesystem;

fs::path toPath(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

QString fromPath(const fs::path& path) {
    return QFile::decodeName(path.native().c_str());
}

QString lastComponent(const QString& path) {
    return path.section(QLatin1Char('/'), -1);
}

// The entry's own properties, as lstat reports them. Nothing when the entry vanished after the
// folder was read: it is simply no longer there, which is not a failure of the listing.
std::optional<BrowserEntry> describe(const fs::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        throw fs::filesystem_error("lstat", path, std::error_code(errno, std::generic_category()));
    }
    BrowserEntry entry;
    entry.path = fromPath(path);
    entry.isDirectory = S_ISDIR(status.st_mode);
    entry.isSymbolicLink = S_ISLNK(status.st_mode);
    entry.bytes = S_ISREG(status.st_mode) ? qint64(status.st_size) : 0;
    entry.modified = QDateTime::fromMSecsSinceEpoch(
        qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1'000'000, Qt::UTC);
    return entry;
}

void append(QList<BrowserEntry>& entries, const fs::path& path) {
    if (auto entry = describe(path)) {
        entries.append(std::move(*entry));
    }
}

QList<BrowserEntry> listFolder(const fs::path& folder, bool videosOnly) {
    QList<BrowserEntry> entries;
    if (videosOnly) {
        for (const auto& clip : ImportEngine::videoFiles(folder)) {
            append(entries, clip);
        }
        return entries;
    }
    for (const auto& item : fs::directory_iterator(folder)) {
        if (!item.path().filename().native().starts_with('.')) {
            append(entries, item.path());
        }
    }
    return entries;
}

// The platform's sentence without the library's "filesystem error: <operation>:" prefix.
QString describeError(const fs::filesystem_error& error) {
    const QString reason = QString::fromStdString(error.code().message());
    return error.path1().empty() ? reason : fromPath(error.path1()) + QStringLiteral(": ") + reason;
}

// Directories first, then names as people read them ("9.mov" before "10.mov", "a" before "B").
void sortEntries(QList<BrowserEntry>& entries) {
    // Under the C locale (a bare service environment) Qt ignores numeric mode.
    QLocale locale;
    if (locale.language() == QLocale::C) {
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    }
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(entries.begin(), entries.end(), [&](const BrowserEntry& a, const BrowserEntry& b) {
        if (a.isDirectory != b.isDirectory) {
            return a.isDirectory;
        }
        const QString nameA = lastComponent(a.path);
        const QString nameB = lastComponent(b.path);
        if (const int order = collator.compare(nameA, nameB); order != 0) {
            return order < 0;
        }
        // Names equal to the collator ("a" and "A", or clips of different folders) still get
        // one stable order, so a reload does not shuffle rows.
        return a.path < b.path;
    });
}

} // namespace

DirectoryListing readDirectory(const QString& folder, bool videosOnly) {
    DirectoryListing listing;
    try {
        listing.entries = listFolder(toPath(folder), videosOnly);
        sortEntries(listing.entries);
    } catch (const fs::filesystem_error& error) {
        listing.entries.clear();
        listing.error = describeError(error);
    } catch (const std::exception& error) {
        listing.entries.clear();
        listing.error = QString::fromStdString(error.what());
    }
    return listing;
}

} // namespace quaymark
