// SPDX-License-Identifier: GPL-3.0-or-later
#include "Format.h"

#include "ingest/scan/FileSize.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace quaymark {

QPolygonF speedGraphPoints(const QList<double>& samples, double width, double height) {
    QPolygonF points;
    if (samples.isEmpty()) {
        return points;
    }
    double peak = *std::max_element(samples.begin(), samples.end());
    if (!(peak > 1) || !std::isfinite(peak)) {
        peak = 1;
    }
    const double divisor = samples.size() == 1 ? 1.0 : static_cast<double>(samples.size() - 1);
    for (qsizetype i = 0; i < samples.size(); ++i) {
        const double sample = std::isfinite(samples[i]) ? std::max(samples[i], 0.0) : 0.0;
        points.append(QPointF(width * static_cast<double>(i) / divisor,
                              (height - 2) - (height - 4) * sample / peak));
    }
    return points;
}

QString Format::fileSize(qint64 bytes) {
    return QString::fromStdString(formatFileSize(bytes));
}

QVariantList Format::graphPoints(const QVariantList& samples, double width, double height) {
    QList<double> values;
    values.reserve(samples.size());
    for (const QVariant& sample : samples) {
        values.append(sample.toDouble());
    }
    QVariantList points;
    for (const QPointF& point : speedGraphPoints(values, width, height)) {
        points.append(point);
    }
    return points;
}

QString Format::count(qint64 n, const QString& one, const QString& many) {
    return QString::number(n) + u' ' + (n == 1 ? one : many);
}

QString Format::lastComponent(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    const QString name = QFileInfo(clean).fileName();
    return name.isEmpty() ? clean : name;
}

QString Format::parentFolder(const QString& path) {
    const QString clean = QDir::cleanPath(path);
    if (clean == u"/") {
        return clean;
    }
    return QFileInfo(clean).path();
}

QString Format::droppedFolder(const QList<QUrl>& urls) {
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir()) {
            return QDir::cleanPath(url.toLocalFile());
        }
    }
    return {};
}

} // namespace quaymark
