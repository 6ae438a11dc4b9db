// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ImportReport.h"

#include <QByteArray>

#include <vector>

namespace quaymark::report {

// The report as a PDF: A4, or Letter where the locale measures in inches; landscape for the
// clip table, whose header row repeats on every page; numbered pages. Needs a
// QGuiApplication, which `ensureGuiForReports` makes where there is none.
QByteArray reportPdf(const std::vector<ImportReport>& imports, const ReportHeading& heading,
                     ReportKind kind);

// Makes an off-screen QGuiApplication when the process has no Qt application at all (the
// command). Call on the main thread. Throws std::runtime_error when the process holds a Qt
// application without a GUI, which cannot lay text out.
void ensureGuiForReports();

} // namespace quaymark::report
