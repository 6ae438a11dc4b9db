// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls
import Quaymark

// A borderless button with an optional symbol and tooltip.
ToolButton {
    id: control

    property string symbol
    property color tint: QuayTheme.text
    property string tip
    property int fontSize: 13
    property int fontWeight: Font.Normal
    property int iconSize: Math.round((fontSize + 3) * QuayTheme.textScale)

    flat: true
    font.pointSize: fontSize * QuayTheme.textUnit
    font.weight: fontWeight
    icon.source: symbol === "" ? "" : "image://icon/" + symbol
    icon.color: enabled ? tint : palette.disabled.buttonText
    icon.width: iconSize
    icon.height: iconSize
    palette.buttonText: tint
    // The palette alone left a disabled button pixel for pixel the same as an enabled one.
    opacity: enabled ? 1 : 0.4
    Accessible.name: text !== "" ? text : tip
    ToolTip.visible: tip !== "" && hovered
    ToolTip.text: tip
    ToolTip.delay: 500
    Accessible.description: tip

    FocusRing { visible: control.visualFocus }
}
