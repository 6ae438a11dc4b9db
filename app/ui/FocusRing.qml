// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import Quaymark

// The keyboard focus, drawn around the item it sits in.
Rectangle {
    anchors.fill: parent
    anchors.margins: 1
    radius: 5
    color: "transparent"
    border.width: 2
    border.color: QuayTheme.mint
}
