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
    property int iconSize: fontSize + 3

    flat: true
    font.pixelSize: fontSize
    font.weight: fontWeight
    icon.source: symbol === "" ? "" : "image://icon/" + symbol
    icon.color: enabled ? tint : palette.disabled.buttonText
    icon.width: iconSize
    icon.height: iconSize
    palette.buttonText: tint
    Accessible.name: text !== "" ? text : tip
    ToolTip.visible: tip !== "" && hovered
    ToolTip.text: tip
    ToolTip.delay: 500
}
