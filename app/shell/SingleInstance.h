// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ingest/copy/UniqueFd.h"

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace quaymark {

// Lets one copy of the application run per user. The first start holds an advisory lock on
// "instance.lock" in the data folder for as long as this object lives (the shell keeps it for
// the whole run) and listens on "instance.socket" there; a later start finds the lock taken,
// asks the first one through the socket to show its window, handing over the launcher's
// activation token (XDG_ACTIVATION_TOKEN or DESKTOP_STARTUP_ID) so that the desktop lets the
// window come to the front, and is told to end.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process now holds the lock. False when another instance holds it (that
    // instance has been asked to show itself) or the data folder cannot be created. Call once,
    // on the main thread, at start-up.
    bool acquireSingleInstance();

signals:
    // A later start asked this instance to bring its window to the front; `token` is the
    // launcher's activation token of that start, empty when it had none.
    void activationRequested(const QString& token);

private:
    void listen(const QString& socketPath);
    void acceptConnections();

    UniqueFd lock_;
    bool held_ = false;
    // Declared after the lock so that it closes, removing its socket file, while the lock is
    // still held: a new first instance never sees its fresh socket removed.
    QLocalServer server_;
};

} // namespace quaymark
