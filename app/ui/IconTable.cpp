// SPDX-License-Identifier: GPL-3.0-or-later
#include "IconTable.h"

#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

namespace quaymark {

namespace {

const QHash<QString, QString>& table() {
    static const QHash<QString, QString> files = {
        {QStringLiteral("square.stack.3d.down.right.fill"), QStringLiteral("layers")},
        {QStringLiteral("arrow.down.doc.fill"), QStringLiteral("file-down")},
        {QStringLiteral("play.rectangle.on.rectangle"), QStringLiteral("square-play")},
        {QStringLiteral("arrow.clockwise"), QStringLiteral("rotate-cw")},
        {QStringLiteral("externaldrive"), QStringLiteral("hard-drive")},
        {QStringLiteral("externaldrive.fill"), QStringLiteral("hard-drive")},
        {QStringLiteral("network"), QStringLiteral("network")},
        {QStringLiteral("bolt.circle.fill"), QStringLiteral("zap")},
        {QStringLiteral("minus.circle"), QStringLiteral("circle-minus")},
        {QStringLiteral("plus.circle"), QStringLiteral("circle-plus")},
        {QStringLiteral("slider.horizontal.3"), QStringLiteral("sliders-horizontal")},
        {QStringLiteral("arrow.down.to.line.compact"), QStringLiteral("arrow-down-to-line")},
        {QStringLiteral("checkmark.shield.fill"), QStringLiteral("shield-check")},
        {QStringLiteral("sdcard"), QStringLiteral("device-sd-card")},
        {QStringLiteral("shield.lefthalf.filled"), QStringLiteral("shield-half")},
        {QStringLiteral("xmark"), QStringLiteral("x")},
        {QStringLiteral("folder.badge.gearshape"), QStringLiteral("folder-cog")},
        {QStringLiteral("plus"), QStringLiteral("plus")},
        {QStringLiteral("arrow.clockwise.circle"), QStringLiteral("refresh-cw")},
        {QStringLiteral("arrow.down.to.line.circle"), QStringLiteral("circle-arrow-down")},
        {QStringLiteral("arrow.down.circle.fill"), QStringLiteral("circle-arrow-down")},
        {QStringLiteral("arrow.up"), QStringLiteral("arrow-up")},
        {QStringLiteral("folder.badge.plus"), QStringLiteral("folder-plus")},
        {QStringLiteral("link"), QStringLiteral("link")},
        {QStringLiteral("folder.fill"), QStringLiteral("folder")},
        {QStringLiteral("folder"), QStringLiteral("folder-open")},
        {QStringLiteral("film"), QStringLiteral("film")},
        {QStringLiteral("doc"), QStringLiteral("file")},
        {QStringLiteral("checkmark.seal.fill"), QStringLiteral("badge-check")},
        {QStringLiteral("rectangle.stack"), QStringLiteral("gallery-vertical-end")},
        {QStringLiteral("rectangle.stack.badge.plus"), QStringLiteral("layers-plus")},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("circle-check")},
        {QStringLiteral("shippingbox"), QStringLiteral("package")},
        {QStringLiteral("arrow.up.forward.square"), QStringLiteral("square-arrow-out-up-right")},
        {QStringLiteral("stop.circle"), QStringLiteral("circle-stop")},
        {QStringLiteral("xmark.circle"), QStringLiteral("circle-x")},
        {QStringLiteral("house"), QStringLiteral("house")},
        {QStringLiteral("eject"), QStringLiteral("eject")},
        {QStringLiteral("magnifyingglass"), QStringLiteral("search")},
        {QStringLiteral("books.vertical"), QStringLiteral("library")},
    };
    return files;
}

} // namespace

QString iconFile(const QString& symbol) {
    const QString name = table().value(symbol);
    return name.isEmpty() ? QString() : u":/Quaymark/icons/" + name + u".svg";
}

QImage renderIcon(const QString& symbol, QSize size, const QColor& color) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const QString file = iconFile(symbol);
    if (file.isEmpty()) {
        return image;
    }
    QSvgRenderer svg(file);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    // The drawing's own colour is replaced, its coverage kept.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    return image;
}

IconProvider::IconProvider()
    : QQuickImageProvider(QQuickImageProvider::Image) {}

QImage IconProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    const QString symbol = id.section(QLatin1Char('/'), 0, 0);
    const QString colorText = id.section(QLatin1Char('/'), 1, 1);
    QColor color = Qt::white;
    if (!colorText.isEmpty()) {
        color = QColor(u'#' + colorText);
        if (!color.isValid()) {
            color = Qt::white;
        }
    }
    const QSize wanted = requestedSize.isValid() && !requestedSize.isEmpty()
                             ? requestedSize.boundedTo(QSize(1024, 1024))
                             : QSize(48, 48);
    if (size) {
        *size = wanted;
    }
    return renderIcon(symbol, wanted, color);
}

} // namespace quaymark
