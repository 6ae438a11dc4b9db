// SPDX-License-Identifier: GPL-3.0-or-later
#include "ToolsSetup.h"

#include "DownloadError.h"
#include "ToolInstaller.h"
#include "app/core/AppDiagnostics.h"

namespace quaymark {

ToolsSetup::ToolsSetup(DownloadTools tools, ToolInstallConfig config, std::function<bool()> busy,
                       QObject* parent)
    : QObject(parent)
    , tools_(std::move(tools))
    , config_(std::move(config))
    , busy_(std::move(busy)) {
    // Once per yt-dlp executable in the process: later models and downloads ask no more.
    const DownloadTools::Check check = tools_.check();
    ready_ = check.ready;
    status_ = statusFor(check);
}

ToolsSetup::~ToolsSetup() = default;

QString ToolsSetup::statusFor(const DownloadTools::Check& check) {
    if (check.ready) {
        return QStringLiteral("Download tools ready");
    }
    if (check.missing.size() == DownloadTools::names.size()) {
        return QStringLiteral("Install download tools once to get started");
    }
    QStringList missing;
    for (const std::string_view name : check.missing) {
        missing.append(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    const QString last = missing.isEmpty() ? QString() : missing.takeLast();
    const QString absent = missing.isEmpty() ? last : missing.join(u", ") + u" and " + last;
    const QString verb =
        missing.isEmpty() ? QStringLiteral(" is missing") : QStringLiteral(" are missing");
    if (!check.outdated) {
        return absent + verb + u". Install the download tools to get " +
               (missing.isEmpty() ? u"it." : u"them.");
    }
    const QString old = u"The yt-dlp at " + QString::fromStdString(check.outdated->string()) +
                        u" is too old for Quaymark";
    if (last.isEmpty()) {
        return old + u". Install the download tools to get a current one.";
    }
    return old + u" and " + absent + verb + u". Install the download tools to get current ones.";
}

DownloadTools::Check ToolsSetup::recheck() {
    const DownloadTools::Check check = tools_.check();
    if (check.ready != ready_ && !installing_) {
        ready_ = check.ready;
        showStatus(statusFor(check));
    }
    return check;
}

void ToolsSetup::install() {
    if (installing_ || (busy_ && busy_())) {
        return;
    }
    installing_ = true;
    emit installingChanged();
    // The worker only posts to this object; queued calls die with it, and the destructor
    // stops and joins the worker first.
    installer_.start(this, [tools = tools_, config = config_](std::stop_token stop, auto post) {
        std::optional<QString> failure;
        bool unreachable = false;
        DownloadTools::Check check;
        try {
            ToolInstaller(tools, config)
                .install(
                    [&](const std::string& text) {
                        post([status = QString::fromStdString(text)](ToolsSetup& setup) {
                            setup.showStatus(status);
                        });
                    },
                    stop);
            check = tools.check(); // the new yt-dlp's --help, here rather than on the main thread
        } catch (const DownloadCancelled&) {
            return; // only when this setup is going away
        } catch (const DownloadError& error) {
            failure = QString::fromUtf8(error.what());
            AppDiagnostics::log(u"Tools installation failed: " +
                                QString::fromStdString(error.domain) + u' ' +
                                QString::number(error.code) + u": " + *failure);
            unreachable = error.domain == networkErrorDomain &&
                          error.code == static_cast<int>(NetworkError::cannotConnect);
        } catch (const std::exception& error) {
            failure = QString::fromUtf8(error.what());
        }
        post([failure, unreachable, check](ToolsSetup& setup) {
            setup.installFinished(failure, unreachable, check);
        });
    });
}

void ToolsSetup::installFinished(const std::optional<QString>& failure, bool unreachable,
                                 const DownloadTools::Check& check) {
    if (failure) {
        showStatus(QStringLiteral("Setup failed"));
        // A missing connection is said in words; the details stay in the diagnostics log.
        emit failed(unreachable ? QStringLiteral(
                                      "Quaymark could not reach GitHub to download the tools. "
                                      "Check the internet connection, or install yt-dlp, deno and "
                                      "ffmpeg with your package manager.")
                                : *failure);
    } else {
        ready_ = check.ready;
        showStatus(statusFor(check));
    }
    installing_ = false;
    emit installingChanged();
}

void ToolsSetup::showStatus(const QString& status) {
    status_ = status;
    emit statusChanged(); // also when unchanged: readiness may have changed
}

} // namespace quaymark
