// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls
import Quaymark

// A switch drawn to be seen on the dark panels: a mint track when on.
Switch {
    id: control

    // Grows with the desktop's text size, as the symbols do.
    readonly property real unit: Math.max(1, QuayTheme.textScale)

    indicator: Rectangle {
        implicitWidth: Math.round(34 * control.unit)
        implicitHeight: Math.round(18 * control.unit)
        x: control.leftPadding
        y: (control.height - height) / 2
        radius: height / 2
        color: control.checked ? QuayTheme.mint : Qt.rgba(1, 1, 1, 0.16)
        Rectangle {
            width: parent.height - 4
            height: width
            radius: width / 2
            y: 2
            x: control.checked ? parent.width - width - 2 : 2
            color: control.checked ? QuayTheme.background : QuayTheme.text
        }
        FocusRing {
            anchors.margins: -3
            radius: 12
            visible: control.visualFocus
        }
    }
}
