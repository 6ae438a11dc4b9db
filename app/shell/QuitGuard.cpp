// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuitGuard.h"

#include "app/downloads/DownloadModel.h"
#include "app/model/AppModel.h"

namespace quaymark {

void QuitGuard::attach(AppModel* model, DownloadModel* downloads) {
    model_ = model;
    downloads_ = downloads;
}

bool QuitGuard::workRunning() const {
    return (model_ && model_->queue()->processing()) ||
           (downloads_ && downloads_->queue()->busy()) ||
           (downloads_ && downloads_->tools()->installing());
}

} // namespace quaymark
