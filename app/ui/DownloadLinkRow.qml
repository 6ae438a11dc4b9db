// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark
import Quaymark.Downloads

// One video link of a project: its title, address, state, speed, progress and error.
Rectangle {
    id: row

    // A link map of the download model.
    required property var link
    // Without the tools a link waits for them, whatever its own state says.
    property bool toolsReady: true
    readonly property bool needsTools: !toolsReady && link.state === LinkState.Ready
    signal remove()
    signal reveal(string path)

    readonly property bool failed: link.state === LinkState.Failed
    readonly property bool downloaded: link.state === LinkState.Downloaded

    implicitHeight: column.implicitHeight + 32
    radius: 10
    color: QuayTheme.panel

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: 16
        spacing: 10

        RowLayout {
            Layout.fillWidth: true
            spacing: 12
            QuayIcon {
                objectName: "linkIcon"
                name: row.downloaded ? "checkmark.seal.fill" : "film"
                color: row.downloaded ? QuayTheme.mint : QuayTheme.secondary
                size: 21
                Layout.alignment: Qt.AlignTop
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 3
                Label {
                    objectName: "linkTitle"
                    text: row.link.title
                    font.pointSize: 15 * QuayTheme.textUnit
                    font.weight: Font.Medium
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                }
                TextEdit {
                    objectName: "linkUrl"
                    text: row.link.url
                    readOnly: true
                    selectByMouse: true
                    font.pointSize: 12 * QuayTheme.textUnit
                    color: QuayTheme.secondary
                    wrapMode: TextEdit.WrapAnywhere
                    Layout.fillWidth: true
                }
                Label {
                    objectName: "linkState"
                    text: row.needsTools ? "Needs download tools" : row.link.stateText
                    font.pointSize: 12 * QuayTheme.textUnit
                    font.weight: Font.DemiBold
                    color: row.failed ? QuayTheme.orange
                         : row.needsTools ? QuayTheme.secondary : QuayTheme.mint
                }
            }
            Label {
                objectName: "linkSpeed"
                visible: row.link.state === LinkState.Downloading
                text: row.link.speedText
                font.pointSize: 28 * QuayTheme.textUnit
                font.weight: Font.DemiBold
            }
            FlatButton {
                objectName: "revealButton"
                visible: row.downloaded && row.link.output !== ""
                symbol: "folder"
                iconSize: 18
                tint: QuayTheme.secondary
                tip: "Reveal downloaded video"
                onClicked: row.reveal(row.link.output)
            }
            FlatButton {
                objectName: "removeButton"
                visible: row.link.state !== LinkState.Downloading
                         && row.link.state !== LinkState.Merging
                         && row.link.state !== LinkState.Converting
                symbol: "xmark"
                iconSize: 16
                tint: QuayTheme.secondary
                tip: "Remove link from project; downloaded files are kept"
                onClicked: row.remove()
            }
        }

        ProgressBar {
            objectName: "linkProgress"
            Accessible.name: "Download of " + row.link.title
            from: 0
            to: 1
            value: row.link.fraction
            palette.highlight: row.failed ? QuayTheme.orange : QuayTheme.mint
            Layout.fillWidth: true
        }

        // A helper's output tail can run to many lines; it scrolls instead of growing the row.
        ScrollView {
            visible: row.link.error !== ""
            contentWidth: availableWidth
            Layout.fillWidth: true
            Layout.preferredHeight: Math.min(errorText.implicitHeight, 110)
            TextArea {
                id: errorText
                objectName: "linkError"
                text: row.link.error
                readOnly: true
                selectByMouse: true
                font.pointSize: 12 * QuayTheme.textUnit
                color: QuayTheme.orange
                wrapMode: TextEdit.Wrap
                padding: 0
                background: null
            }
        }
    }
}
