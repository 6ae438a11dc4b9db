// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ImportReport.h"

#include <QString>

#include <vector>

namespace quaymark::report {

// How previews appear in the page: inline for a browser or an e-mail, or as resources named
// "preview:N" (the file's place among all files) for QTextDocument.
enum class PreviewImages { inlined, resources };

// The report as one self-contained HTML page; several imports make a day report.
QString reportHtml(const std::vector<ImportReport>& imports, const ReportHeading& heading,
                   ReportKind kind, PreviewImages images);

// The placeholder's words for a clip without a preview.
QString noPreviewText(const ReportFile& file);

} // namespace quaymark::report
