// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecoveryOffers.h"

#include "app/core/Background.h"
#include "app/core/PathText.h"
#include "ingest/copy/SessionLock.h"

#include <QDir>
#include <QFileInfo>

namespace quaymark {

void RecoveryOffers::refresh(const QStringList& remembered, const QStringList& running,
                             const QStringList& destinations) {
    QStringList candidates;
    for (const QString& folder : remembered) {
        if (!running.contains(QDir::cleanPath(folder))) {
            candidates.append(folder);
        }
    }
    const std::uint64_t generation = ++generation_;
    runInBackground(
        this,
        [candidates, destinations] {
            QVariantList offered;
            for (const QString& folder : candidates) {
                if (!SessionLock::heldNow(pathOf(folder))) {
                    offered.append(
                        QVariantMap{{QStringLiteral("folder"), folder},
                                    {QStringLiteral("label"), label(folder, destinations)}});
                }
            }
            return offered;
        },
        [generation](RecoveryOffers& offers, QVariantList offered) {
            if (generation != offers.generation_ || offered == offers.entries_) {
                return;
            }
            offers.entries_ = offered;
            emit offers.entriesChanged();
        });
}

QString RecoveryOffers::label(const QString& folder, const QStringList& destinations) {
    const QString clean = QDir::cleanPath(folder);
    QString destination; // the deepest one holding the folder
    for (const QString& candidate : destinations) {
        const QString root = QDir::cleanPath(candidate);
        if (clean.startsWith(root + u'/') && root.size() > destination.size()) {
            destination = root;
        }
    }
    if (destination.isEmpty()) {
        destination = QFileInfo(clean).path();
    }
    const QString name = QFileInfo(destination).fileName();
    return QDir(destination).relativeFilePath(clean) + u" on " +
           (name.isEmpty() ? destination : name);
}

} // namespace quaymark
