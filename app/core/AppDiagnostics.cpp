// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppDiagnostics.h"

#include "DiagnosticsLog.h"

#include <QFile>
#include <QStandardPaths>

namespace quaymark::AppDiagnostics {

namespace {

DiagnosticsLog& queue() {
    static DiagnosticsLog log;
    return log;
}

} // namespace

QString directory() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // Without a base, a bare "/Brindleway Quaymark" would land at the file-system root.
    if (base.isEmpty()) {
        return {};
    }
    return base + QStringLiteral("/Brindleway Quaymark");
}

void log(const QString& message) {
    const QString folder = directory();
    if (folder.isEmpty()) {
        return;
    }
    // The folder is fixed at the call, so a line always goes where its caller's data folder was.
    queue().append(QFile::encodeName(folder).toStdString(), message.toStdString());
}

void flush() {
    queue().flush();
}

} // namespace quaymark::AppDiagnostics
