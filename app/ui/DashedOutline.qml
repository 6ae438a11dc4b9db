// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import Quaymark

// A rounded outline drawn in dashes, around a drop or paste area.
Canvas {
    id: outline

    property color color: QuayTheme.secondary
    property real radius: 10

    onColorChanged: requestPaint()
    onWidthChanged: requestPaint()
    onHeightChanged: requestPaint()

    onPaint: {
        const context = getContext("2d")
        context.reset()
        context.strokeStyle = outline.color
        context.lineWidth = 1
        context.setLineDash([5, 4])
        context.beginPath()
        context.roundedRect(0.5, 0.5, width - 1, height - 1, radius, radius)
        context.stroke()
    }
}
