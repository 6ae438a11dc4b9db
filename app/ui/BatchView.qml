// SPDX-License-Identifier: GPL-3.0-or-later
pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark
import Quaymark.Models

// One import batch: its source, state and one row per destination.
Rectangle {
    id: card

    required property ImportBatch batch
    signal retry(DestinationJob job)
    signal openFolder(string folder)
    signal openDocument(string pdf)
    signal eject()

    readonly property bool cancellable: batch.state === ImportBatch.Importing
                                          || batch.state === ImportBatch.Queued

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
            spacing: 8
            QuayIcon { name: "sdcard"; color: QuayTheme.mint; size: 16 }
            Label {
                text: Format.lastComponent(card.batch.source)
                font.pointSize: 14 * QuayTheme.textUnit
                font.weight: Font.DemiBold
                elide: Text.ElideRight
                Layout.maximumWidth: 420
            }
            Rectangle {
                objectName: "autoBadge"
                visible: card.batch.automatic
                color: Qt.rgba(QuayTheme.mint.r, QuayTheme.mint.g, QuayTheme.mint.b, 0.1)
                radius: 4
                implicitWidth: autoText.implicitWidth + 10
                implicitHeight: autoText.implicitHeight + 6
                Label {
                    id: autoText
                    anchors.centerIn: parent
                    text: "AUTO"
                    font.pointSize: 12 * QuayTheme.textUnit
                    font.bold: true
                    color: QuayTheme.mint
                }
            }
            Item { Layout.fillWidth: true }
            Label {
                objectName: "batchState"
                text: card.batch.stateText
                font.pointSize: 12 * QuayTheme.textUnit
                color: card.batch.state === ImportBatch.Verified ? QuayTheme.mint : QuayTheme.secondary
            }
            FlatButton {
                objectName: "cancelBatchButton"
                visible: card.cancellable
                symbol: "stop.circle"
                iconSize: 18
                tint: QuayTheme.secondary
                tip: "Cancel all destinations in this import"
                onClicked: card.batch.cancel()
            }
        }

        // Whether the card may be formatted now that the batch has ended.
        RowLayout {
            objectName: "cardState"
            visible: card.batch.cardState !== ""
            Layout.fillWidth: true
            spacing: 6
            QuayIcon {
                name: card.batch.safeToFormat ? "checkmark.shield.fill" : "shield.lefthalf.filled"
                size: 15
                color: card.batch.safeToFormat ? QuayTheme.mint : QuayTheme.secondary
            }
            Label {
                objectName: "cardStateText"
                text: card.batch.cardState
                font.pointSize: 12 * QuayTheme.textUnit
                color: card.batch.safeToFormat ? QuayTheme.mint : QuayTheme.text
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            FlatButton {
                objectName: "ejectBatchButton"
                text: "Eject"
                symbol: "eject"
                fontSize: 12
                Accessible.name: "Eject " + Format.lastComponent(card.batch.source)
                onClicked: card.eject()
            }
        }

        // The handover report: being written, written, or why not.
        RowLayout {
            objectName: "reportRow"
            visible: card.batch.reportStatus !== "" || card.batch.reportFile !== ""
            Layout.fillWidth: true
            spacing: 6
            QuayIcon { name: "doc"; size: 15; color: QuayTheme.secondary }
            Label {
                objectName: "reportStatus"
                text: card.batch.reportStatus
                font.pointSize: 12 * QuayTheme.textUnit
                color: QuayTheme.secondary
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            FlatButton {
                objectName: "openReportButton"
                visible: card.batch.reportFile !== ""
                text: "Open report"
                symbol: "doc"
                fontSize: 12
                Accessible.name: "Open the report of " + Format.lastComponent(card.batch.source)
                onClicked: card.openDocument(card.batch.reportFile)
            }
        }

        // Where the copies go and how long the whole batch still takes.
        RowLayout {
            visible: card.batch.folderName !== "" || card.batch.timeLeftText !== ""
            Layout.fillWidth: true
            spacing: 12
            TextEdit {
                objectName: "batchFolder"
                text: card.batch.folderName
                readOnly: true
                selectByMouse: true
                font.pointSize: 12 * QuayTheme.textUnit
                color: QuayTheme.text
                selectionColor: QuayTheme.selection
                Accessible.role: Accessible.StaticText
                Accessible.name: "Import folder " + text
                Layout.fillWidth: true
            }
            Label {
                objectName: "batchTimeLeft"
                text: card.batch.timeLeftText
                font.pointSize: 12 * QuayTheme.textUnit
                color: QuayTheme.secondary
            }
        }
        ProgressBar {
            id: batchBar
            objectName: "batchProgress"
            visible: card.batch.state === ImportBatch.Importing
            from: 0
            to: 1
            value: card.batch.fraction
            Accessible.name: "Progress of " + Format.lastComponent(card.batch.source)
            Accessible.description: Math.floor(visualPosition * 100) + " %"
            Layout.fillWidth: true
            background: Rectangle {
                implicitHeight: 6
                radius: 3
                color: Qt.rgba(1, 1, 1, 0.06)
            }
            contentItem: Item {
                Rectangle {
                    width: parent.width * batchBar.visualPosition
                    height: parent.height
                    radius: 3
                    color: QuayTheme.mint
                }
            }
        }

        Repeater {
            model: card.batch.jobs
            delegate: TransferRow {
                required property DestinationJob modelData
                job: modelData
                Layout.fillWidth: true
                onRetry: card.retry(modelData)
                onOpenFolder: (folder) => card.openFolder(folder)
            }
        }
    }
}
