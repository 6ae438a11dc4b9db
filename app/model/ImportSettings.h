// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PreferenceStore.h"
#include "report/ImportReport.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace quaymark {

// The camera name when neither an override nor the clips name one.
inline const QString unknownCamera = QStringLiteral("Unknown Camera");

// What the import queue and the drive watcher read of the window's state. They take it when
// they need it, through a reader the application model hands them, and hold no model above.
struct ImportSettings {
    StoredPreferences preferences;
    QStringList targets; // the destinations as found now, in order
    QString camera;      // the camera name a batch queued now gets
    QString source;      // the chosen source
};
using ImportSettingsReader = std::function<ImportSettings()>;

inline report::ReportHeading reportHeadingOf(const StoredPreferences& preferences) {
    return {preferences.production.toStdString(), preferences.shootingDay.toStdString(),
            preferences.reportOperator.toStdString()};
}

} // namespace quaymark
