// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace quaymark::platform {

struct EjectOutcome {
    bool unmounted = false;
    bool poweredOff = false;
    // What the user reads, such as "Ejected. The card can be removed." or why not.
    QString message;
};

// Ejects the drive holding `mountPoint` through UDisks2 on the system bus: every mounted file
// system of the drive is unmounted (never forced), then the drive is powered off when it can be
// and no drive beside it in the same reader holds a mounted card; `importing` names the mount
// points of cards being imported now. Blocking: call it on a worker.
EjectOutcome ejectDrive(const QString& mountPoint, const QStringList& importing);

} // namespace quaymark::platform
