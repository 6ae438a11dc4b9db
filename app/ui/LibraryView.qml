// SPDX-License-Identifier: GPL-3.0-or-later
pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark
import Quaymark.Models

// Where the copies are: every catalogued file found by name, camera, card, date or hash, each
// with its copies and whether their drives are connected now.
Rectangle {
    id: view

    required property LibraryModel library
    signal reveal(string path)
    signal scanDrive()
    signal openDocument(string pdf)

    color: QuayTheme.background

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 28
        spacing: 16

        ColumnLayout {
            spacing: 4
            Label {
                text: "Find every copy."
                font.pointSize: 30 * QuayTheme.textUnit
                font.weight: Font.DemiBold
                font.letterSpacing: -0.8
            }
            Label {
                text: "Every verified import this computer made or scanned, by file name, camera, card, date or hash."
                font.pointSize: 14 * QuayTheme.textUnit
                color: QuayTheme.secondary
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
        }

        RowLayout {
            spacing: 10
            Layout.fillWidth: true
            TextField {
                objectName: "librarySearch"
                placeholderText: "C0001, FX3, A001, 2026-12-07 or a hash prefix"
                text: view.library.query
                onTextEdited: view.library.query = text
                onAccepted: view.library.search()
                font.pointSize: 14 * QuayTheme.textUnit
                Accessible.name: "Search the catalog"
                Layout.fillWidth: true
            }
            FlatButton {
                objectName: "scanDriveButton"
                text: view.library.checking !== "" ? "Working…" : "Scan drive…"
                symbol: "externaldrive"
                fontSize: 13
                enabled: view.library.checking === ""
                Accessible.description: "Records the verified imports on a drive, as after a new catalog"
                onClicked: view.scanDrive()
            }
            FlatButton {
                objectName: "dayReportButton"
                text: "Day report"
                symbol: "doc"
                fontSize: 13
                enabled: view.library.checking === "" && view.library.count > 0
                Accessible.description: "One report of every import these files come from"
                onClicked: view.library.writeDayReport()
            }
            FlatButton {
                objectName: "openDayReportButton"
                visible: view.library.dayReport !== ""
                text: "Open"
                symbol: "arrow.up.forward.square"
                fontSize: 13
                Accessible.name: "Open the day report"
                onClicked: view.openDocument(view.library.dayReport)
            }
        }

        Label {
            objectName: "libraryStatus"
            visible: text !== ""
            text: view.library.status
            font.pointSize: 13 * QuayTheme.textUnit
            color: QuayTheme.secondary
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }

        ListView {
            id: results
            objectName: "libraryResults"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            spacing: 10
            model: view.library
            ScrollBar.vertical: ScrollBar { Accessible.name: "Scroll the results" }
            delegate: Rectangle {
                id: result
                required property string name
                required property string path
                required property string size
                required property string hash
                required property string detail
                required property var copies
                width: ListView.view.width
                implicitHeight: rows.implicitHeight + 24
                radius: 10
                color: QuayTheme.panel
                ColumnLayout {
                    id: rows
                    anchors.fill: parent
                    anchors.margins: 12
                    spacing: 6
                    RowLayout {
                        spacing: 8
                        Layout.fillWidth: true
                        QuayIcon { name: "film"; size: 16; color: QuayTheme.mint }
                        Label {
                            text: result.name
                            font.pointSize: 14 * QuayTheme.textUnit
                            font.weight: Font.DemiBold
                            elide: Text.ElideMiddle
                            Layout.fillWidth: true
                        }
                        Label {
                            text: result.size + "  ·  " + result.hash
                            font.pointSize: 12 * QuayTheme.textUnit
                            font.family: "monospace"
                            color: QuayTheme.secondary
                        }
                    }
                    Label {
                        text: result.path + (result.detail !== "" ? "  ·  " + result.detail : "")
                        font.pointSize: 12 * QuayTheme.textUnit
                        color: QuayTheme.secondary
                        elide: Text.ElideMiddle
                        Layout.fillWidth: true
                    }
                    Repeater {
                        model: result.copies
                        delegate: RowLayout {
                            id: copy
                            required property var modelData
                            objectName: "libraryCopy"
                            spacing: 8
                            Layout.fillWidth: true
                            QuayIcon {
                                name: copy.modelData.failure !== "" ? "xmark.circle"
                                      : copy.modelData.connected ? "checkmark.circle.fill" : "externaldrive"
                                size: 15
                                color: copy.modelData.failure !== "" ? QuayTheme.orange
                                       : copy.modelData.connected ? QuayTheme.mint : QuayTheme.secondary
                            }
                            ColumnLayout {
                                spacing: 0
                                Layout.fillWidth: true
                                Label {
                                    text: copy.modelData.destination + "  ·  "
                                          + (copy.modelData.failure !== "" ? copy.modelData.failure
                                             : "verified " + copy.modelData.verified)
                                          + (copy.modelData.connected ? "" : "  ·  not connected")
                                    font.pointSize: 13 * QuayTheme.textUnit
                                    color: copy.modelData.failure !== "" ? QuayTheme.orange : QuayTheme.text
                                    elide: Text.ElideRight
                                    Layout.fillWidth: true
                                }
                                Label {
                                    text: copy.modelData.path
                                    font.pointSize: 12 * QuayTheme.textUnit
                                    color: QuayTheme.secondary
                                    elide: Text.ElideMiddle
                                    Layout.fillWidth: true
                                }
                            }
                            FlatButton {
                                objectName: "verifyAgainButton"
                                text: view.library.checking === copy.modelData.folder ? "Verifying…" : "Verify again"
                                enabled: copy.modelData.connected && view.library.checking === ""
                                fontSize: 12
                                Accessible.name: "Verify again the copy on " + copy.modelData.destination
                                onClicked: view.library.verifyAgain(copy.modelData.folder)
                            }
                            FlatButton {
                                text: "Reveal"
                                enabled: copy.modelData.connected
                                fontSize: 12
                                Accessible.name: "Reveal the copy on " + copy.modelData.destination
                                onClicked: view.reveal(copy.modelData.path)
                            }
                        }
                    }
                }
            }
        }
    }
}
