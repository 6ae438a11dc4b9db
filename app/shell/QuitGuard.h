// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>

namespace quaymark {

class AppModel;
class DownloadModel;

// Decides whether quitting would interrupt work. It holds the models weakly and only once the
// main window has shown them: before that, and after a model is gone, nothing counts as running.
class QuitGuard {
public:
    void attach(AppModel* model, DownloadModel* downloads);
    // An import is processing, downloads are running, or the tools are being installed.
    bool workRunning() const;

private:
    QPointer<AppModel> model_;
    QPointer<DownloadModel> downloads_;
};

} // namespace quaymark
