// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>

namespace quaymark {

class AppModel;
class ImportBatch;

// Tells the user through the desktop when a batch ends while they look elsewhere:
// "Import verified" or "Import needs attention", with the source's name; and "Import needs
// attention" with the model's message when an automatic import is refused.
class BatchNotices : public QObject {
    Q_OBJECT

public:
    using Post = std::function<void(const QString& summary, const QString& body)>;

    BatchNotices(AppModel& model, std::function<bool()> windowActive, Post post,
                 QObject* parent = nullptr);

private:
    void watch();
    void ended(ImportBatch* batch);

    AppModel& model_;
    std::function<bool()> windowActive_;
    Post post_;
    QSet<ImportBatch*> watched_;
};

} // namespace quaymark
