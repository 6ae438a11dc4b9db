// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QPolygonF>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace quaymark {

// The speed graph's points for a surface of `width` by `height`: scaled against the largest
// sample (at least 1), 2 points free at top and bottom, larger values higher; none without
// samples, and a single sample at x = 0.
QPolygonF speedGraphPoints(const QList<double>& samples, double width, double height);

// Stateless text helpers for the screens.
class Format : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // Decimal units, as a file manager shows sizes: "182.5 GB".
    Q_INVOKABLE static QString fileSize(qint64 bytes);
    // The graph's points, each a point value.
    Q_INVOKABLE static QVariantList graphPoints(const QVariantList& samples, double width,
                                                double height);
    // A count with its noun: "1 item", "2 items".
    Q_INVOKABLE static QString count(qint64 n, const QString& one, const QString& many);
    // The last component of a folder path; the path itself for "/".
    Q_INVOKABLE static QString lastComponent(const QString& path);
    // The parent folder; "/" stays "/".
    Q_INVOKABLE static QString parentFolder(const QString& path);
    // The first local folder among dropped locations; empty when none is one.
    Q_INVOKABLE static QString droppedFolder(const QList<QUrl>& urls);
};

} // namespace quaymark
