// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark
import Quaymark.Models

// One destination of a batch: name and status, speed or result, progress and detail.
Rectangle {
    id: row
    objectName: "transferRow"

    required property DestinationJob job
    signal retry()
    signal openFolder(string folder)

    readonly property bool verified: job.verified
    readonly property bool failed: job.failed
    readonly property color statusColor: verified ? QuayTheme.mint
                                                  : failed ? QuayTheme.orange : QuayTheme.secondary

    implicitHeight: content.implicitHeight + 22
    radius: 8
    color: Qt.rgba(QuayTheme.background.r, QuayTheme.background.g, QuayTheme.background.b, 0.65)

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 11
        spacing: 8

        RowLayout {
            Layout.fillWidth: true
            spacing: 12

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 3
                RowLayout {
                    spacing: 8
                    Label {
                        text: Format.lastComponent(row.job.target)
                        font.pointSize: 13 * QuayTheme.textUnit
                        font.weight: Font.Medium
                        elide: Text.ElideRight
                        Layout.maximumWidth: 320
                    }
                    Label {
                        objectName: "jobStatus"
                        text: row.job.statusText.toUpperCase()
                        font.pointSize: 12 * QuayTheme.textUnit
                        font.weight: Font.DemiBold
                        color: row.statusColor
                    }
                }
                // The import folder once named, to be selected and copied.
                TextEdit {
                    objectName: "jobFolder"
                    text: row.job.importFolder !== "" ? row.job.importFolder : row.job.target
                    readOnly: true
                    selectByMouse: true
                    font.pointSize: 12 * QuayTheme.textUnit
                    color: QuayTheme.secondary
                    selectionColor: QuayTheme.selection
                    wrapMode: TextEdit.WrapAnywhere
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    Layout.fillWidth: true
                }
            }

            // Verified: the seal and the way to the import folder.
            RowLayout {
                objectName: "verifiedColumn"
                visible: row.verified
                Layout.minimumWidth: 165
                Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
                spacing: 6
                Item { Layout.fillWidth: true }
                QuayIcon { name: "checkmark.seal.fill"; color: QuayTheme.mint; size: 20 }
                FlatButton {
                    objectName: "revealButton"
                    text: "Reveal"
                    Accessible.name: "Reveal " + Format.lastComponent(row.job.target)
                    symbol: "folder"
                    fontSize: 12
                    onClicked: row.openFolder(row.job.resultFolder)
                }
            }

            // Failed: another attempt into the same import folder.
            RowLayout {
                visible: !row.verified && row.failed
                Layout.minimumWidth: 165
                Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
                Item { Layout.fillWidth: true }
                Button {
                    objectName: "retryButton"
                    text: "Retry / recover"
                    Accessible.name: "Retry or recover " + Format.lastComponent(row.job.target)
                    font.pointSize: 12 * QuayTheme.textUnit
                    onClicked: row.retry()
                }
            }

            // Running or waiting: speed, phase and a cancel for this destination alone.
            RowLayout {
                objectName: "runningColumn"
                visible: !row.verified && !row.failed
                Layout.minimumWidth: 165
                Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
                spacing: 10
                Item { Layout.fillWidth: true }
                SpeedGraph {
                    objectName: "speedGraph"
                    samples: row.job.samples
                    Layout.preferredWidth: 75
                    Layout.preferredHeight: 26
                }
                ColumnLayout {
                    spacing: 0
                    Label {
                        objectName: "speedText"
                        text: row.job.speedText
                        font.pointSize: 30 * QuayTheme.textUnit
                        font.weight: Font.DemiBold
                        color: QuayTheme.mint
                        Layout.alignment: Qt.AlignRight
                    }
                    Label {
                        objectName: "phaseLabel"
                        text: row.job.phase === "verifying" ? "VERIFY READ" : "COPY WRITE"
                        font.pointSize: 12 * QuayTheme.textUnit
                        color: QuayTheme.secondary
                        Layout.alignment: Qt.AlignRight
                    }
                }
                FlatButton {
                    objectName: "cancelJobButton"
                    symbol: "xmark.circle"
                    iconSize: 15
                    tint: QuayTheme.secondary
                    tip: "Cancel this destination only"
                    Accessible.name: "Cancel " + Format.lastComponent(row.job.target)
                    onClicked: row.job.cancel()
                }
            }
        }

        ProgressBar {
            id: track
            objectName: "progressTrack"
            Layout.fillWidth: true
            from: 0
            to: 1
            value: row.verified ? 1 : row.job.fraction
            Accessible.name: "Progress to " + Format.lastComponent(row.job.target)
            // Qt gives a progress bar no value interface, so its value is said this way.
            Accessible.description: Math.floor(visualPosition * 100) + " %"
            background: Rectangle {
                implicitHeight: 4
                radius: 2
                color: Qt.rgba(1, 1, 1, 0.06)
            }
            contentItem: Item {
                Rectangle {
                    objectName: "progressFill"
                    width: parent.width * track.visualPosition
                    height: parent.height
                    radius: 2
                    color: row.failed ? QuayTheme.orange : QuayTheme.mint
                }
            }
        }

        TextEdit {
            objectName: "errorText"
            visible: row.failed
            Layout.fillWidth: true
            text: row.failed ? row.job.error : ""
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.Wrap
            font.pointSize: 12 * QuayTheme.textUnit
            color: QuayTheme.orange
            selectionColor: palette.highlight
        }

        Label {
            objectName: "verifiedDetail"
            visible: !row.failed && row.verified
            Layout.fillWidth: true
            text: visible ? row.job.detailText : ""
            font.pointSize: 12 * QuayTheme.textUnit
            color: QuayTheme.secondary
        }

        RowLayout {
            visible: !row.failed && !row.verified
            Layout.fillWidth: true
            spacing: 12
            Label {
                objectName: "currentFile"
                text: row.job.detailText
                font.pointSize: 12 * QuayTheme.textUnit
                color: QuayTheme.secondary
                elide: Text.ElideMiddle
                Layout.fillWidth: true
            }
            Label {
                objectName: "progressText"
                text: row.job.progressText
                font.pointSize: 12 * QuayTheme.textUnit
                color: QuayTheme.secondary
            }
        }
    }
}
