import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark

// The video projects area.
Rectangle {
    id: screen

    required property var downloads

    color: QuayTheme.background

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 28
        spacing: 6
        Label {
            text: "Video projects"
            font.pixelSize: 27
            font.weight: Font.DemiBold
            font.letterSpacing: -0.8
        }
        Label {
            text: screen.downloads ? screen.downloads.toolStatus : ""
            font.pixelSize: 14
            color: QuayTheme.secondary
        }
        Item { Layout.fillHeight: true }
    }
}
