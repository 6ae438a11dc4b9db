// SPDX-License-Identifier: GPL-3.0-or-later
pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark

// The listing of one chosen folder, with the way to choose, open and refresh it.
Rectangle {
    id: pane

    property string title
    property string subtitle
    property string icon
    property string url
    property var entries
    property string error
    property bool loading
    property bool flatMedia

    signal choose()
    signal navigate(string folder)
    signal refresh()
    signal reveal(string path)
    // A folder dropped from the file manager.
    signal dropped(string folder)

    readonly property bool isSource: title === "SOURCE"
    readonly property bool chosen: url !== ""
    readonly property int count: entries ? entries.count : 0

    radius: 10
    color: QuayTheme.panel
    border.width: drop.containsDrag ? 2 : 0
    border.color: QuayTheme.mint

    DropArea {
        id: drop
        objectName: "folderDrop"
        anchors.fill: parent
        keys: ["text/uri-list"]
        onEntered: (drag) => drag.accepted = Format.droppedFolder(drag.urls) !== ""
        onDropped: (event) => {
            const folder = Format.droppedFolder(event.urls)
            if (folder !== "") {
                event.acceptProposedAction()
                pane.dropped(folder)
            }
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 10

        RowLayout {
            Layout.fillWidth: true
            spacing: 6
            QuayIcon { name: pane.icon; color: QuayTheme.secondary; size: 14 }
            Label {
                text: pane.title
                font.pointSize: 12 * QuayTheme.textUnit
                font.weight: Font.DemiBold
                font.letterSpacing: 1.3
                color: QuayTheme.secondary
            }
            Label {
                text: pane.subtitle
                elide: Text.ElideRight
                Layout.fillWidth: true
                font.pointSize: 12 * QuayTheme.textUnit
                color: QuayTheme.secondary
            }
            FlatButton {
                objectName: "chooseButton"
                text: pane.chosen ? "Change" : "Choose"
                Accessible.name: text + " the " + pane.title.toLowerCase()
                fontSize: 12
                onClicked: pane.choose()
            }
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 4
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 2
                Label {
                    objectName: "heading"
                    text: pane.chosen ? Format.lastComponent(pane.url)
                                      : (pane.isSource ? "Choose your media" : "Where should it go?")
                    font.pointSize: 19 * QuayTheme.textUnit
                    font.weight: Font.Medium
                    elide: Text.ElideRight
                    Layout.fillWidth: true
                }
                Label {
                    visible: pane.chosen
                    text: pane.url
                    font.pointSize: 12 * QuayTheme.textUnit
                    color: QuayTheme.secondary
                    elide: Text.ElideMiddle
                    maximumLineCount: 1
                    Layout.fillWidth: true
                    HoverHandler { id: pathHover }
                    ToolTip.visible: pathHover.hovered
                    ToolTip.text: pane.url
                }
            }
            FlatButton {
                objectName: "parentButton"
                visible: pane.chosen
                enabled: pane.url !== "/"
                symbol: "arrow.up"
                tip: "Open parent folder"
                Accessible.name: "Open the parent folder of the " + pane.title.toLowerCase()
                onClicked: pane.navigate(Format.parentFolder(pane.url))
            }
            FlatButton {
                objectName: "refreshButton"
                visible: pane.chosen
                symbol: "arrow.clockwise"
                tip: "Refresh folder"
                Accessible.name: "Refresh the " + pane.title.toLowerCase()
                onClicked: pane.refresh()
            }
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true

            // Nothing chosen yet: one large target that opens the folder dialog.
            AbstractButton {
                id: dropTarget
                objectName: "dropTarget"
                anchors.fill: parent
                visible: !pane.chosen
                focusPolicy: Qt.StrongFocus
                Accessible.role: Accessible.Button
                Accessible.name: pane.isSource ? "Select a card, SSD or folder" : "Local drive or network folder"
                onClicked: pane.choose()
                FocusRing { visible: dropTarget.visualFocus; radius: 10 }
                background: Canvas {
                    readonly property bool hot: dropTarget.hovered
                    onHotChanged: requestPaint()
                    onWidthChanged: requestPaint()
                    onHeightChanged: requestPaint()
                    onPaint: {
                        const ctx = getContext("2d")
                        ctx.reset()
                        ctx.setLineDash([5, 4])
                        ctx.lineWidth = 1.2
                        ctx.strokeStyle = dropTarget.hovered ? QuayTheme.mint : QuayTheme.secondary
                        ctx.globalAlpha = dropTarget.hovered ? 0.8 : 0.45
                        const r = 10, w = width - 2, h = height - 2
                        ctx.beginPath()
                        ctx.roundedRect(1, 1, w, h, r, r)
                        ctx.stroke()
                    }
                }
                contentItem: Item {
                    ColumnLayout {
                        anchors.centerIn: parent
                        spacing: 10
                        QuayIcon {
                            name: pane.isSource ? "sdcard" : "folder.badge.plus"
                            size: 26
                            color: QuayTheme.secondary
                            Layout.alignment: Qt.AlignHCenter
                        }
                        Label {
                            text: pane.isSource ? "Select a card, SSD or folder" : "Local drive or network folder"
                            font.pointSize: 13 * QuayTheme.textUnit
                            Layout.alignment: Qt.AlignHCenter
                        }
                    }
                }
            }

            BusyIndicator {
                objectName: "loadingIndicator"
                Accessible.name: "Reading the folder"
                anchors.centerIn: parent
                visible: pane.chosen && pane.loading
                running: visible
            }

            Label {
                objectName: "errorLabel"
                anchors.fill: parent
                visible: pane.chosen && !pane.loading && pane.error !== ""
                text: pane.error
                font.pointSize: 13 * QuayTheme.textUnit
                color: QuayTheme.orange
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }

            Label {
                objectName: "emptyLabel"
                anchors.centerIn: parent
                visible: pane.chosen && !pane.loading && pane.error === "" && pane.count === 0
                text: pane.flatMedia ? "No video clips found" : "This folder is empty"
                font.pointSize: 13 * QuayTheme.textUnit
                color: QuayTheme.secondary
            }

            ListView {
                id: list
                objectName: "entryList"
                anchors.fill: parent
                visible: pane.chosen && !pane.loading && pane.error === "" && pane.count > 0
                clip: true
                model: visible ? pane.entries : null
                boundsBehavior: Flickable.StopAtBounds
                activeFocusOnTab: true
                keyNavigationEnabled: true
                highlightMoveDuration: 0
                Accessible.role: Accessible.List
                Accessible.name: pane.title + " " + Format.lastComponent(pane.url)
                ScrollBar.vertical: ScrollBar { Accessible.name: "Scroll " + pane.title.toLowerCase() }
                Keys.onPressed: (event) => {
                    if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
                        if (currentItem)
                            currentItem.open()
                        event.accepted = true
                    } else if (event.key === Qt.Key_Backspace) {
                        if (pane.url !== "/")
                            pane.navigate(Format.parentFolder(pane.url))
                        event.accepted = true
                    } else if (event.key === Qt.Key_Menu && currentItem) {
                        currentItem.showMenu()
                        event.accepted = true
                    }
                }
                delegate: Rectangle {
                    id: entryRow
                    required property string path
                    required property string name
                    required property bool isDirectory
                    required property bool isSymbolicLink
                    required property real bytes
                    required property bool isVideo
                    required property int index
                    readonly property bool opens: isDirectory && !isSymbolicLink
                    readonly property bool focused: ListView.isCurrentItem && list.activeFocus
                    readonly property string kind: isDirectory ? "Folder"
                        : isSymbolicLink ? "Link" : Format.fileSize(bytes)

                    objectName: "entryRow"
                    width: ListView.view.width
                    height: Math.round(28 * QuayTheme.textScale)
                    radius: 5
                    color: focused ? QuayTheme.selection : rowHover.hovered ? Qt.rgba(1, 1, 1, 0.04) : "transparent"
                    Accessible.role: Accessible.ListItem
                    Accessible.name: name + ", " + kind
                    Accessible.selected: ListView.isCurrentItem

                    function open() {
                        if (opens)
                            pane.navigate(path)
                    }
                    function showMenu() {
                        entryMenu.popup(entryRow, 0, entryRow.height)
                    }
                    FocusRing { visible: entryRow.focused }

                    HoverHandler { id: rowHover }
                    TapHandler {
                        acceptedButtons: Qt.LeftButton
                        onTapped: list.currentIndex = entryRow.index
                        onDoubleTapped: entryRow.open()
                    }
                    TapHandler {
                        acceptedButtons: Qt.RightButton
                        onTapped: entryMenu.popup()
                    }
                    Menu {
                        id: entryMenu
                        MenuItem {
                            text: "Show in File Manager"
                            onTriggered: pane.reveal(entryRow.path)
                        }
                    }

                    RowLayout {
                        anchors.fill: parent
                        anchors.leftMargin: 6
                        anchors.rightMargin: 8
                        spacing: 8
                        QuayIcon {
                            objectName: "entryIcon"
                            name: entryRow.isSymbolicLink ? "link"
                                : entryRow.isDirectory ? "folder.fill"
                                : entryRow.isVideo ? "film" : "doc"
                            size: 15
                            color: entryRow.isDirectory && !entryRow.isSymbolicLink ? QuayTheme.mint : QuayTheme.secondary
                        }
                        Label {
                            text: entryRow.name
                            font.pointSize: 13 * QuayTheme.textUnit
                            elide: Text.ElideMiddle
                            Layout.fillWidth: true
                        }
                        Label {
                            // A link's own size says nothing about what it points to.
                            text: entryRow.kind
                            font.pointSize: 12 * QuayTheme.textUnit
                            color: entryRow.focused ? QuayTheme.text : QuayTheme.secondary
                        }
                    }
                }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Label {
                objectName: "countLabel"
                text: pane.chosen ? Format.count(pane.count, "item", "items") : "No folder selected"
                font.pointSize: 12 * QuayTheme.textUnit
            }
            Item { Layout.fillWidth: true }
            Label {
                objectName: "hintLabel"
                text: pane.flatMedia ? "Video clips across all subfolders" : "Double-click folders to open"
                font.pointSize: 12 * QuayTheme.textUnit
                color: QuayTheme.secondary
            }
        }
    }
}
