// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>

namespace quaymark {

// Destination folders as the user chooses them. Before a choice is compared with the other
// destinations, their symbolic links are resolved on a worker, since one of them may be a
// stalled network share; choices are still handed on in the order they were made. Lives on the
// main thread.
class TargetChoices : public QObject {
    Q_OBJECT

public:
    // Where a chosen folder goes: the main copy, one more backup, or the main destination's
    // listing browsed to a folder below it.
    enum class Place { main, backup, browsed };

    // `apply` takes each checked choice, in order.
    explicit TargetChoices(std::function<void(const QString& folder, Place place)> apply,
                           QObject* parent = nullptr);

    // Resolves `folder` and the current `destinations`, then applies the choice after those
    // made before it.
    void choose(const QString& folder, Place place, QStringList destinations);
    // The form a folder compares in: links resolved where they have been, else standardised.
    QString formOf(const QString& folder) const;

private:
    void applyChecked();

    struct Choice {
        QString folder;
        Place place;
        bool checked = false;
    };
    std::function<void(const QString&, Place)> apply_;
    std::map<std::uint64_t, Choice> choices_;
    std::uint64_t next_ = 0;
    // Folders as they compare, with links resolved, by the text they were chosen as.
    QHash<QString, QString> resolved_;
};

} // namespace quaymark
