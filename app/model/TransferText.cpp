// SPDX-License-Identifier: GPL-3.0-or-later
#include "TransferText.h"

#include "ingest/scan/FileSize.h"

#include <algorithm>
#include <cmath>

namespace quaymark {

QString speedText(double bytesPerSecond) {
    if (!(bytesPerSecond > 0) || !std::isfinite(bytesPerSecond)) {
        return QStringLiteral("— MB/s");
    }
    return QString::number(bytesPerSecond / 1e6, 'f', 0) + u" MB/s";
}

QString verifiedSummary(const ImportResult& result) {
    const double elapsed =
        std::isfinite(result.elapsed) && result.elapsed > 0 ? std::trunc(result.elapsed) : 0.0;
    return QString::number(result.fileCount) + (result.fileCount == 1 ? u" file" : u" files") +
           u" · " + QString::fromStdString(formatFileSize(result.bytes)) +
           u" · SHA-256 matched · " + QString::number(static_cast<qint64>(elapsed)) + u's' +
           (result.warnings.empty()
                ? QString()
                : u" · " + QString::fromStdString(result.warnings.front()) +
                      (result.warnings.size() > 1
                           ? u" (+" + QString::number(result.warnings.size() - 1) + u" more)"
                           : QString()));
}

QString progressSummary(const ImportProgress& progress) {
    const double fraction = progress.fraction();
    // The small allowance keeps 29/100 from reading 28% through binary rounding.
    const double percent = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) * 100 : 0.0;
    return QString::number(progress.verifiedFiles) + u'/' + QString::number(progress.totalFiles) +
           u" verified · " + QString::number(static_cast<int>(std::floor(percent + 1e-9))) + u'%';
}

} // namespace quaymark
