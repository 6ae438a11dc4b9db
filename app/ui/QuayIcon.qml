// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Layouts
import Quaymark

// A symbol from the icon table, drawn in one colour.
Image {
    property string name
    property color color: "white"
    property real size: 16

    // Symbols grow with the desktop's text size.
    readonly property real side: Math.round(size * Math.max(1, QuayTheme.textScale))

    // Layouts would otherwise size it by its (doubled) source size.
    Layout.preferredWidth: side
    Layout.preferredHeight: side
    width: side
    height: side
    sourceSize.width: side * 2
    sourceSize.height: side * 2
    fillMode: Image.PreserveAspectFit
    smooth: true
    source: name === "" ? "" : "image://icon/" + name + "/" + color.toString().substring(1)
}
