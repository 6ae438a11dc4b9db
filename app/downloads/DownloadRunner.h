// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DownloadProcess.h"
#include "app/core/Background.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quaymark {

// How a helper run ended.
struct DownloadOutcome {
    enum class Kind { Succeeded, Failed, Cancelled };
    Kind kind = Kind::Succeeded;
    QString transcript;  // Succeeded
    QString domain;      // Failed: "Quaymark.Download", or empty for a launch failure
    int code = 0;        // Failed: exit status or errno of the launch
    QString description; // Failed
};

// Runs one helper on a thread of its own and reports to the thread that owns this object (the
// main thread): every output line in order, then the outcome. Destroying it stops the helper
// and waits for the thread.
class DownloadRunner : public QObject {
    Q_OBJECT
public:
    explicit DownloadRunner(QObject* parent = nullptr);
    ~DownloadRunner() override;

    // Sends a line to the owner's thread, in order.
    using LineSink = std::function<void(const QString& line)>;
    // The work of one run on the helper's thread: it runs its helpers with the control, forwards
    // their lines and returns the transcript. What it throws ends the run: DownloadCancelled as
    // cancelled, anything else as a failure with its description.
    using Job = std::function<QString(ProcessControl& control, const LineSink& forward)>;

    // Arguments as the helper process takes them.
    static std::vector<std::string> utf8(const QStringList& list);

    // One run per runner.
    void run(Job job);
    // A run of one helper that forwards every line it prints.
    void start(const QString& executable, const QStringList& arguments);
    void cancel();

signals:
    void line(const QString& text);
    void finished(const quaymark::DownloadOutcome& outcome);

private:
    std::shared_ptr<ProcessControl> control_ = std::make_shared<ProcessControl>();
    // Last: stopped and joined before the rest goes.
    OwnedThreads thread_;
};

} // namespace quaymark
