#include "DownloadError.h"
#include "DownloadModel.h"
#include "ToolInstaller.h"

#include <QMetaObject>

namespace quaymark {

void DownloadModel::installTools() {
    if (installing_ || busy_) {
        return;
    }
    installing_ = true;
    emit installingChanged();
    // The worker only posts to this object; queued calls die with it, and the destructor
    // stops and joins the worker first.
    installer_ =
        std::jthread([this, tools = tools_, config = setup_.installer](std::stop_token stop) {
            const auto post = [this](auto call) {
                QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
            };
            std::optional<QString> failure;
            DownloadTools::Check check;
            try {
                ToolInstaller(tools, config)
                    .install(
                        [&](const std::string& text) {
                            post([this, status = QString::fromStdString(text)] {
                                showToolStatus(status);
                            });
                        },
                        stop);
                check =
                    tools.check(); // the new yt-dlp's --help, here rather than on the main thread
            } catch (const DownloadCancelled&) {
                return; // only when this model is going away
            } catch (const std::exception& error) {
                failure = QString::fromUtf8(error.what());
            }
            post([this, failure, check] { installFinished(failure, check); });
        });
}

void DownloadModel::installFinished(const std::optional<QString>& failure,
                                    const DownloadTools::Check& check) {
    installer_.join(); // its last step was posting this call
    if (failure) {
        showToolStatus(QStringLiteral("Setup failed"));
        setMessage(*failure);
    } else {
        toolsReady_ = check.ready;
        showToolStatus(toolStatusFor(check));
    }
    installing_ = false;
    emit installingChanged();
}

void DownloadModel::showToolStatus(const QString& status) {
    toolStatus_ = status;
    emit toolStatusChanged(); // also when unchanged: readiness may have changed
}

} // namespace quaymark
