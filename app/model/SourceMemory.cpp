// SPDX-License-Identifier: GPL-3.0-or-later
#include "SourceMemory.h"

#include "CatalogWork.h"
#include "app/core/Background.h"
#include "app/core/PathText.h"

namespace quaymark {

SourceMemory::SourceMemory(std::filesystem::path catalogFile, platform::SystemPaths system,
                           QObject* parent)
    : QObject(parent)
    , catalogFile_(std::move(catalogFile))
    , system_(std::move(system)) {}

void SourceMemory::lookUp(const QString& source, bool videosOnly) {
    const std::uint64_t request = ++request_;
    pending_ = !source.isEmpty();
    if (source.isEmpty()) {
        notice_.clear();
        kind_ = QString::fromLatin1(catalog::toString(catalog::CardLookup::Kind::notImported));
        newFiles_.clear();
        emit changed();
        return;
    }
    runInBackground(
        this,
        [catalogFile = catalogFile_, path = pathOf(source), videosOnly, system = system_] {
            return CatalogWork::lookUpSource(catalogFile, path, videosOnly, system);
        },
        [request](SourceMemory& memory, CatalogWork::SourceNotice found) {
            if (request != memory.request_) {
                return;
            }
            memory.pending_ = false;
            memory.notice_ = found.text;
            memory.kind_ = QString::fromLatin1(catalog::toString(found.kind));
            memory.newFiles_ = std::move(found.newFiles);
            emit memory.changed();
        });
}

} // namespace quaymark
