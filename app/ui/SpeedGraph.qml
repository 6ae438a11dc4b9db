// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import Quaymark

// Recent speed of one destination as a thin line, newest on the right.
Canvas {
    id: graph

    property var samples: []
    // Where the line runs, in this item's coordinates.
    readonly property var points: Format.graphPoints(samples, width, height)

    implicitWidth: 75
    implicitHeight: 26
    Accessible.role: Accessible.Chart
    Accessible.name: "Recent transfer speed"

    onPointsChanged: requestPaint()
    onPaint: {
        const ctx = getContext("2d")
        ctx.reset()
        if (points.length < 2)
            return
        ctx.strokeStyle = Qt.rgba(QuayTheme.mint.r, QuayTheme.mint.g, QuayTheme.mint.b, 0.6)
        ctx.lineWidth = 1.2
        ctx.beginPath()
        ctx.moveTo(points[0].x, points[0].y)
        for (let i = 1; i < points.length; ++i)
            ctx.lineTo(points[i].x, points[i].y)
        ctx.stroke()
    }
}
