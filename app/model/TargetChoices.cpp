// SPDX-License-Identifier: GPL-3.0-or-later
#include "TargetChoices.h"

#include "app/core/Background.h"

#include <QDir>
#include <QFileInfo>

namespace quaymark {

namespace {

// Folders compare in their standardised form with symbolic links resolved.
QString resolved(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : canonical;
}

} // namespace

TargetChoices::TargetChoices(std::function<void(const QString& folder, Place place)> apply,
                             QObject* parent)
    : QObject(parent)
    , apply_(std::move(apply)) {}

void TargetChoices::choose(const QString& folder, Place place, QStringList destinations) {
    const std::uint64_t choice = next_++;
    choices_[choice] = Choice{folder, place};
    destinations.append(folder);
    // Resolving links touches every destination, and one may be a stalled network share.
    runInBackground(
        this,
        [folders = std::move(destinations)] {
            QHash<QString, QString> forms;
            for (const QString& each : folders) {
                forms.insert(each, resolved(each));
            }
            return forms;
        },
        [choice](TargetChoices& choices, QHash<QString, QString> forms) {
            choices.resolved_.insert(forms);
            choices.choices_[choice].checked = true;
            choices.applyChecked();
        });
}

void TargetChoices::applyChecked() {
    while (!choices_.empty() && choices_.begin()->second.checked) {
        const Choice choice = choices_.begin()->second;
        choices_.erase(choices_.begin());
        apply_(choice.folder, choice.place);
    }
}

QString TargetChoices::formOf(const QString& folder) const {
    return resolved_.value(folder, QDir::cleanPath(folder));
}

} // namespace quaymark
