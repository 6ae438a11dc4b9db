// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderBrowser.h"

#include "BrowserEntry.h"
#include "app/core/Background.h"

#include <QUuid>

namespace quaymark {

FolderBrowser::FolderBrowser(QObject* parent)
    : QObject(parent) {}

void FolderBrowser::reload(const QString& folder, bool videosOnly) {
    generation_ = QUuid::createUuid().toString();
    if (folder.isEmpty()) {
        entries_.setEntries({});
        error_.clear();
        loading_ = false;
        emit changed();
        return;
    }
    loading_ = true;
    emit changed();
    runInBackground(
        this, [folder, videosOnly] { return readDirectory(folder, videosOnly); },
        [generation = generation_](FolderBrowser& browser, DirectoryListing result) {
            if (browser.generation_ != generation) {
                return; // a newer listing was asked for
            }
            browser.entries_.setEntries(std::move(result.entries));
            browser.error_ = result.error.value_or(QString());
            browser.loading_ = false;
            emit browser.changed();
        });
}

} // namespace quaymark
