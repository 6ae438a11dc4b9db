// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <QtQmlIntegration/qqmlintegration.h>

namespace quaymark {

// What the window asks of the application around it: the answers of its folder dialog, the
// file manager and quitting. The application implements it; the screens know only this.
class WindowActions : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The actions come from the application.")
    // Where the folder dialog opens.
    Q_PROPERTY(QString homeFolder READ homeFolder CONSTANT)

public:
    using QObject::QObject;

    virtual QString homeFolder() const = 0;
    // The dialog's answer; an empty URL means it was dismissed.
    Q_INVOKABLE virtual void answerFolder(const QUrl& folder) = 0;
    // The same with a path; empty when the dialog was dismissed.
    Q_INVOKABLE virtual void answerPath(const QString& folder) = 0;

    // For the window's dialog. What a typed location means, seen from `shown`: "~" is the
    // home folder, a relative path lies below `shown`; empty when no folder is there.
    Q_INVOKABLE virtual QString resolveFolder(const QString& typed, const QString& shown) const = 0;
    // Makes the folder `name` in `parent`: {"path": the new folder} or {"error": why not}.
    Q_INVOKABLE virtual QVariantMap createFolder(const QString& parent,
                                                 const QString& name) const = 0;

    Q_INVOKABLE virtual void reveal(const QString& path) = 0;
    Q_INVOKABLE virtual void openFolder(const QString& folder) = 0;
    Q_INVOKABLE virtual void openDocument(const QString& pdf) = 0;

    // Quits at once when no work runs, else asks the window for confirmation.
    Q_INVOKABLE virtual void requestQuit() = 0;
    Q_INVOKABLE virtual void quitAnyway() = 0;

signals:
    // The window shows its folder dialog and answers with answerFolder or answerPath.
    void folderRequested(const QString& title, const QString& confirm);
    // The window asks whether to quit although work runs.
    void quitConfirmationRequested();
    // Something the user asked for could not be done; the text says what.
    void problemReported(const QString& text);
};

} // namespace quaymark
