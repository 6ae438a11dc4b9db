// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark
import Quaymark.Models

// The import area: header, the two folder browsers, destinations, activity and footer.
Rectangle {
    id: screen

    required property AppModel appModel
    signal reveal(string path)
    signal openFolder(string folder)
    signal openDocument(string pdf)

    color: QuayTheme.background

    // A batch just queued is brought into view, its progress being what the user waits for,
    // and kept there as the page settles, until the user scrolls.
    property bool following: false
    function showActivity() {
        following = transfers.batches.length > 0
        follow()
    }
    function follow() {
        if (!following)
            return
        const top = transfers.mapToItem(column, 0, 0).y + column.y - 10
        page.contentY = Math.max(0, Math.min(top, page.contentHeight - page.height))
    }
    Connections {
        target: transfers
        function onBatchesChanged() { screen.showActivity() }
        function onHeightChanged() { screen.follow() }
    }

    // Small screens and large text: the whole area scrolls rather than squeezing its parts.
    Flickable {
        id: page
        anchors.fill: parent
        // Rows that cannot shrink further (a transfer row at large text) widen the page.
        contentWidth: Math.max(width, column.childrenRect.width + 56)
        contentHeight: Math.max(height, column.implicitHeight + 36)
        interactive: contentHeight > height || contentWidth > width
        boundsBehavior: Flickable.StopAtBounds
        onContentHeightChanged: screen.follow()
        onHeightChanged: screen.follow()
        onMovementStarted: screen.following = false
        clip: true
        ScrollBar.vertical: ScrollBar { Accessible.name: "Scroll the import page" }
        ScrollBar.horizontal: ScrollBar { Accessible.name: "Scroll the import page sideways" }

        ColumnLayout {
            id: column
            x: 28
            y: 22
            width: page.width - 56
            height: page.contentHeight - 36
            spacing: 14

            RowLayout {
                Layout.fillWidth: true
                ColumnLayout {
                    spacing: 4
                    Layout.fillWidth: true
                    Label {
                        text: "Your footage. Safely quayed."
                        font.pointSize: 27 * QuayTheme.textUnit
                        font.weight: Font.DemiBold
                        font.letterSpacing: -0.8
                        elide: Text.ElideRight
                        Layout.fillWidth: true
                    }
                    Label {
                        text: "Ingest once. Keep every destination accounted for."
                        font.pointSize: 14 * QuayTheme.textUnit
                        color: QuayTheme.secondary
                        elide: Text.ElideRight
                        Layout.fillWidth: true
                    }
                    RowLayout {
                        objectName: "sourceNotice"
                        visible: screen.appModel.memory.notice !== ""
                        spacing: 8
                        Layout.fillWidth: true
                        QuayIcon {
                            name: screen.appModel.memory.kind === "reused" ? "xmark.circle"
                                                                           : "checkmark.seal.fill"
                            size: 15
                            color: screen.appModel.memory.kind === "reused" ? QuayTheme.orange : QuayTheme.mint
                        }
                        Label {
                            objectName: "sourceNoticeText"
                            text: screen.appModel.memory.notice
                            font.pointSize: 13 * QuayTheme.textUnit
                            color: screen.appModel.memory.kind === "reused" ? QuayTheme.orange : QuayTheme.text
                            wrapMode: Text.Wrap
                            Layout.fillWidth: true
                        }
                        FlatButton {
                            objectName: "importNewButton"
                            visible: screen.appModel.memory.kind === "newFiles"
                            text: screen.appModel.videosOnly ? "Import new clips" : "Import new files"
                            symbol: "plus.circle"
                            fontSize: 12
                            fontWeight: Font.Medium
                            enabled: screen.appModel.canStart
                            onClicked: screen.appModel.importNewFiles()
                        }
                    }
                }
                Label {
                    objectName: "startProblem"
                    visible: text !== ""
                    text: screen.appModel.startProblem
                    font.pointSize: 12 * QuayTheme.textUnit
                    color: QuayTheme.orange
                    wrapMode: Text.Wrap
                    horizontalAlignment: Text.AlignRight
                    Layout.maximumWidth: Math.round(300 * QuayTheme.textScale)
                }
                Button {
                    id: startButton
                    objectName: "startButton"
                    text: screen.appModel.queue.processing ? "Queue import" : "Start import"
                    enabled: screen.appModel.canStart
                    font.pointSize: 14 * QuayTheme.textUnit
                    font.weight: Font.DemiBold
                    padding: 10
                    leftPadding: 16
                    rightPadding: 18
                    Accessible.name: text
                    Accessible.description: "Ctrl+Return"
                    FocusRing {
                        anchors.margins: -3
                        radius: 10
                        visible: startButton.visualFocus
                    }
                    onClicked: screen.appModel.startImport()
                    background: Rectangle {
                        radius: 8
                        color: startButton.enabled ? (startButton.down ? Qt.darker(QuayTheme.mint, 1.15) : QuayTheme.mint)
                                                   : Qt.rgba(1, 1, 1, 0.1)
                    }
                    contentItem: RowLayout {
                        spacing: 8
                        QuayIcon {
                            name: "arrow.down.to.line.compact"
                            size: 16
                            color: startButton.enabled ? QuayTheme.background : QuayTheme.secondary
                        }
                        Label {
                            text: startButton.text
                            font: startButton.font
                            color: startButton.enabled ? QuayTheme.background : QuayTheme.secondary
                        }
                    }
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 14
                Rectangle {
                    implicitWidth: badge.implicitWidth + 16
                    implicitHeight: badge.implicitHeight + 8
                    radius: 6
                    color: Qt.rgba(QuayTheme.mint.r, QuayTheme.mint.g, QuayTheme.mint.b, 0.1)
                    RowLayout {
                        id: badge
                        anchors.centerIn: parent
                        spacing: 6
                        QuayIcon { name: "checkmark.shield.fill"; size: 14; color: QuayTheme.mint }
                        Label {
                            text: "SHA-256 verified"
                            font.pointSize: 12 * QuayTheme.textUnit
                            font.weight: Font.DemiBold
                            color: QuayTheme.mint
                        }
                    }
                }
                Label {
                    objectName: "modeText"
                    text: screen.appModel.videosOnly ? "Video clips only · flat import" : "All files · original folders"
                    font.pointSize: 12 * QuayTheme.textUnit
                    color: QuayTheme.secondary
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                }
                Label {
                    text: "NATIVE LINUX"
                    font.pointSize: 12 * QuayTheme.textUnit
                    font.weight: Font.DemiBold
                    font.letterSpacing: 1.5
                    color: QuayTheme.secondary
                }
            }

            RowLayout {
                Layout.fillWidth: true
                // Smaller windows give the room to the transfer activity first, and more so
                // while there are batches to follow.
                Layout.preferredHeight: Math.min(290, transfers.batches.length > 0
                                                      ? Math.max(170, screen.height * 0.3 - 60)
                                                      : Math.max(200, screen.height * 0.3 - 20))
                                        * Math.max(1, QuayTheme.textScale)
                spacing: 14
                BrowserPane {
                    objectName: "sourcePane"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    title: "SOURCE"
                    subtitle: "Your original media"
                    icon: "sdcard"
                    url: screen.appModel.source
                    entries: screen.appModel.sourceBrowser.entries
                    error: screen.appModel.sourceBrowser.error
                    loading: screen.appModel.sourceBrowser.loading
                    flatMedia: screen.appModel.videosOnly
                    onChoose: screen.appModel.pickSource()
                    onNavigate: (folder) => screen.appModel.setSource(folder)
                    onDropped: (folder) => screen.appModel.chooseSource(folder)
                    onRefresh: screen.appModel.reloadSource()
                    onReveal: (path) => screen.reveal(path)
                }
                BrowserPane {
                    objectName: "targetPane"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    title: "DESTINATION"
                    subtitle: "Main copy"
                    icon: "externaldrive"
                    url: screen.appModel.primaryTarget
                    entries: screen.appModel.targetBrowser.entries
                    error: screen.appModel.targetBrowser.error
                    loading: screen.appModel.targetBrowser.loading
                    flatMedia: false
                    onChoose: screen.appModel.pickTarget(false)
                    onNavigate: (folder) => screen.appModel.navigateTarget(folder)
                    onDropped: (folder) => screen.appModel.chooseTarget(false, folder)
                    onRefresh: screen.appModel.reloadTarget()
                    onReveal: (path) => screen.reveal(path)
                }
            }

            DestinationList {
                appModel: screen.appModel
                Layout.fillWidth: true
            }

            TransferSection {
                id: transfers
                objectName: "transferSection"
                appModel: screen.appModel
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.minimumHeight: 120
                onOpenFolder: (folder) => screen.openFolder(folder)
                onOpenDocument: (pdf) => screen.openDocument(pdf)
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 8
                Rectangle {
                    objectName: "statusDot"
                    implicitWidth: 8
                    implicitHeight: 8
                    radius: 4
                    color: screen.appModel.queue.processing ? QuayTheme.mint : QuayTheme.secondary
                }
                Label {
                    objectName: "footerText"
                    text: screen.appModel.queue.processing
                          ? "Keep all source and destination drives connected until verification finishes."
                          : "Copies are read-only at the source. Existing destination files are never overwritten."
                    font.pointSize: 12 * QuayTheme.textUnit
                    color: QuayTheme.secondary
                }
                Item { Layout.fillWidth: true }
                BusyIndicator {
                    Accessible.name: "Importing"
                    visible: screen.appModel.queue.processing
                    running: visible
                    implicitWidth: 18
                    implicitHeight: 18
                }
            }
        }
    }
}
