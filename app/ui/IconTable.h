// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QQuickImageProvider>
#include <QSize>
#include <QString>

namespace quaymark {

// The screens name icons by their symbol names ("sdcard", "arrow.clockwise"); this table maps
// each to an SVG shipped with the program. Empty for a name it does not know.
QString iconFile(const QString& symbol);

// The symbol drawn at `size` in one colour; a transparent image for an unknown name.
QImage renderIcon(const QString& symbol, QSize size, const QColor& color);

// "image://icon/<symbol>" in white (for tinting with icon.color) or
// "image://icon/<symbol>/<rrggbb or aarrggbb>" in that colour.
class IconProvider : public QQuickImageProvider {
public:
    IconProvider();
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

} // namespace quaymark
