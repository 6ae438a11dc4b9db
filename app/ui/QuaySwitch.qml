// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls
import Quaymark

// A switch drawn to be seen on the dark panels: a mint track when on.
Switch {
    id: control

    indicator: Rectangle {
        implicitWidth: 34
        implicitHeight: 18
        x: control.leftPadding
        y: (control.height - height) / 2
        radius: 9
        color: control.checked ? QuayTheme.mint : Qt.rgba(1, 1, 1, 0.16)
        Rectangle {
            width: 14
            height: 14
            radius: 7
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
