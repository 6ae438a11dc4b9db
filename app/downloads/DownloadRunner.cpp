// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadRunner.h"

#include "DownloadError.h"

#include <system_error>

namespace quaymark {

DownloadRunner::DownloadRunner(QObject* parent)
    : QObject(parent) {}

// The helper's thread is stopped, which stops the helper, and joined by its OwnedThreads.
DownloadRunner::~DownloadRunner() = default;

void DownloadRunner::cancel() {
    control_->cancel();
}

void DownloadRunner::start(const QString& executable, const QStringList& arguments) {
    run([path = executable.toStdString(), list = utf8(arguments)](ProcessControl& control,
                                                                  const LineSink& forward) {
        return QString::fromStdString(
            DownloadProcess::run(path, list, control, [&](const std::string& text) {
                forward(QString::fromStdString(text));
            }));
    });
}

std::vector<std::string> DownloadRunner::utf8(const QStringList& list) {
    std::vector<std::string> out;
    out.reserve(static_cast<size_t>(list.size()));
    for (const QString& item : list) {
        out.push_back(item.toStdString());
    }
    return out;
}

void DownloadRunner::run(Job job) {
    Q_ASSERT(!thread_.running());
    // Queued calls keep their order and are dropped if this object is gone by then.
    thread_.start(this,
                  [control = control_, job = std::move(job)](std::stop_token stop, auto post) {
                      std::stop_callback cancelOnStop(stop, [control] { control->cancel(); });
                      DownloadOutcome outcome;
                      try {
                          outcome.transcript = job(*control, [&](const QString& text) {
                              post([text](DownloadRunner& runner) { emit runner.line(text); });
                          });
                      } catch (const DownloadCancelled&) {
                          outcome.kind = DownloadOutcome::Kind::Cancelled;
                      } catch (const DownloadError& error) {
                          outcome.kind = DownloadOutcome::Kind::Failed;
                          outcome.domain = QString::fromStdString(error.domain);
                          outcome.code = error.code;
                          outcome.description = QString::fromStdString(error.description);
                      } catch (const std::system_error& error) {
                          outcome.kind = DownloadOutcome::Kind::Failed;
                          outcome.code = error.code().value();
                          outcome.description = QString::fromStdString(error.code().message());
                      } catch (const std::exception& error) {
                          // Nothing may escape this thread; the helpers are already stopped and
                          // reaped.
                          outcome.kind = DownloadOutcome::Kind::Failed;
                          outcome.description = QString::fromUtf8(error.what());
                      }
                      post([outcome](DownloadRunner& runner) { emit runner.finished(outcome); });
                  });
}

} // namespace quaymark
