// SPDX-License-Identifier: GPL-3.0-or-later
pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Qt.labs.folderlistmodel
import Quaymark

// The window's own folder dialog, for desktops without a portal chooser. The folder shown is
// the folder chosen, unless the user selected one of its sub-folders in the list.
Dialog {
    id: chooser

    required property WindowActions shell
    // Home and the mounted volumes: maps with "name" and "url" (a path).
    property var volumes: []
    property string acceptLabel: "Choose folder"
    // The folder being shown, a path.
    property string folder: shell.homeFolder
    // A row the user picked in the list; -1 while nothing was picked.
    property int picked: -1
    property bool typing: false
    property bool naming: false
    property string problem: ""
    // What closing the dialog answers: empty when it was dismissed.
    property string answer: ""

    readonly property string choice: picked >= 0 && picked < folders.count
                                     ? folders.get(picked, "filePath") : folder

    // The dialog closed, by choice or not; `folder` is empty when it was dismissed.
    signal answered(string folder)

    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    width: Math.min(Math.round(780 * QuayTheme.textScale), parent ? parent.width - 40 : 780)
    height: Math.min(Math.round(520 * QuayTheme.textScale), parent ? parent.height - 40 : 520)
    padding: 0
    Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, 0.45) }
    background: Rectangle {
        radius: 10
        color: QuayTheme.panel
        border.width: 1
        border.color: Qt.rgba(1, 1, 1, 0.12)
    }
    // Escape leaves a text field first, then closes (see the lists).
    closePolicy: Popup.NoAutoClose

    function show(title, confirm, start) {
        chooser.title = title
        acceptLabel = confirm
        openFolder(start !== "" ? start : shell.homeFolder)
        typing = false
        naming = false
        answer = ""
        open()
        list.forceActiveFocus()
    }

    function openFolder(path) {
        folder = path
        picked = -1
        problem = ""
        list.currentIndex = -1
    }

    function goUp() {
        if (folder !== "/")
            openFolder(Format.parentFolder(folder))
    }

    function finish(path) {
        if (path === "")
            return
        answer = path
        close()
    }

    function startTyping() {
        naming = false
        typing = true
        location.text = folder === "/" ? "/" : folder + "/"
        location.selectAll()
        location.forceActiveFocus()
    }

    function typed() {
        const path = shell.resolveFolder(location.text, folder)
        if (path === "") {
            problem = "There is no folder at “" + location.text + "”."
            return
        }
        finish(path)
    }

    function createFolder() {
        const { path, error } = shell.createFolder(folder, newName.text)
        if (error) {
            problem = error
            return
        }
        naming = false
        openFolder(path)
        list.forceActiveFocus()
    }

    onClosed: answered(answer)

    FolderListModel {
        id: folders
        folder: "file://" + chooser.folder.split("/").map(encodeURIComponent).join("/")
        showFiles: false
        showHidden: false
        showDotAndDotDot: false
        sortCaseSensitive: false
    }

    header: ColumnLayout {
        spacing: 8
        Label {
            objectName: "chooserTitle"
            text: chooser.title
            font.pointSize: 15 * QuayTheme.textUnit
            font.weight: Font.DemiBold
            elide: Text.ElideRight
            Layout.fillWidth: true
            Layout.topMargin: 16
            Layout.leftMargin: 18
            Layout.rightMargin: 18
        }
        RowLayout {
            Layout.fillWidth: true
            Layout.leftMargin: 14
            Layout.rightMargin: 14
            spacing: 4
            FlatButton {
                objectName: "chooserParent"
                symbol: "arrow.up"
                tip: "Open parent folder"
                enabled: chooser.folder !== "/"
                onClicked: chooser.goUp()
            }
            Label {
                objectName: "chooserPath"
                visible: !chooser.typing
                text: chooser.folder
                font.pointSize: 13 * QuayTheme.textUnit
                elide: Text.ElideMiddle
                Layout.fillWidth: true
                TapHandler { onTapped: chooser.startTyping() }
            }
            TextField {
                id: location
                objectName: "chooserLocation"
                visible: chooser.typing
                font.pointSize: 13 * QuayTheme.textUnit
                placeholderText: "Type a folder’s path"
                Accessible.name: "Folder location"
                Layout.fillWidth: true
                onAccepted: chooser.typed()
                onTextEdited: chooser.problem = ""
                Keys.onEscapePressed: {
                    chooser.typing = false
                    list.forceActiveFocus()
                }
            }
            FlatButton {
                objectName: "newFolderButton"
                text: "New Folder"
                symbol: "folder.badge.plus"
                onClicked: {
                    chooser.typing = false
                    chooser.naming = true
                    newName.text = ""
                    newName.forceActiveFocus()
                }
            }
        }
    }

    // The ids inside are what the dialog's functions work with; the price is that the
    // content is built at once rather than deferred.
    contentItem: RowLayout { // qmllint disable deferred-property-id
        spacing: 0

        Shortcut {
            sequence: "Ctrl+L"
            enabled: chooser.opened
            onActivated: chooser.startTyping()
        }

        // The heading stands above the list rather than in it: a list's header is not built in a
        // bound component with this version of Qt.
        // A narrow column: the folders take the rest.
        ColumnLayout {
            Layout.fillWidth: false
            Layout.preferredWidth: Math.round(chooser.availableWidth / 4)
            Layout.fillHeight: true
            spacing: 0

            Label {
                text: "PLACES"
                leftPadding: 14
                topPadding: 6
                bottomPadding: 4
                font.pointSize: 12 * QuayTheme.textUnit
                font.weight: Font.DemiBold
                font.letterSpacing: 1.2
                color: QuayTheme.secondary
            }

            ListView {
                id: places
                objectName: "placesList"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                activeFocusOnTab: true
                keyNavigationEnabled: true
                Accessible.role: Accessible.List
                Accessible.name: "Places"
                model: [{ name: "Home", url: chooser.shell.homeFolder, removable: false, home: true },
                        ...chooser.volumes]
                Keys.onEscapePressed: chooser.close()
                Keys.onReturnPressed: openCurrent()
                Keys.onEnterPressed: openCurrent()
                function openCurrent() {
                    if (currentIndex >= 0)
                        chooser.openFolder(model[currentIndex].url)
                }
                delegate: ItemDelegate {
                    id: place
                    required property var modelData
                    required property int index
                    objectName: "place"
                    width: ListView.view.width
                    text: modelData.name
                    font.pointSize: 13 * QuayTheme.textUnit
                    icon.source: "image://icon/" + (modelData.home ? "house" : modelData.removable ? "externaldrive" : "network")
                    icon.color: chooser.folder === modelData.url ? QuayTheme.mint : QuayTheme.secondary
                    icon.width: Math.round(16 * QuayTheme.textScale)
                    icon.height: Math.round(16 * QuayTheme.textScale)
                    highlighted: chooser.folder === modelData.url
                    focusPolicy: Qt.NoFocus
                    background: Rectangle {
                        color: place.highlighted ? Qt.rgba(QuayTheme.mint.r, QuayTheme.mint.g, QuayTheme.mint.b, 0.1)
                             : place.hovered ? Qt.rgba(1, 1, 1, 0.04) : "transparent"
                    }
                    Accessible.role: Accessible.ListItem
                    Accessible.name: modelData.name
                    function open() { chooser.openFolder(modelData.url) }
                    onClicked: {
                        places.currentIndex = index
                        open()
                    }
                    FocusRing { visible: places.activeFocus && places.currentIndex === place.index }
                }
            }
        }

        Rectangle {
            Layout.preferredWidth: 1
            Layout.fillHeight: true
            color: QuayTheme.line
        }

        ColumnLayout {
            objectName: "chooserFolders"
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 6

            RowLayout {
                visible: chooser.naming
                Layout.fillWidth: true
                Layout.leftMargin: 10
                Layout.rightMargin: 10
                Layout.topMargin: 6
                TextField {
                    id: newName
                    objectName: "newFolderName"
                    placeholderText: "Name of the new folder"
                    font.pointSize: 13 * QuayTheme.textUnit
                    Accessible.name: "New folder name"
                    Layout.fillWidth: true
                    onAccepted: chooser.createFolder()
                    onTextEdited: chooser.problem = ""
                    Keys.onEscapePressed: {
                        chooser.naming = false
                        list.forceActiveFocus()
                    }
                }
                Button {
                    objectName: "createFolderButton"
                    text: "Create"
                    font.pointSize: 13 * QuayTheme.textUnit
                    enabled: newName.text.trim() !== ""
                    onClicked: chooser.createFolder()
                }
            }

            Label {
                objectName: "chooserProblem"
                visible: chooser.problem !== ""
                text: chooser.problem
                color: QuayTheme.orange
                font.pointSize: 12 * QuayTheme.textUnit
                wrapMode: Text.Wrap
                Layout.fillWidth: true
                Layout.leftMargin: 12
                Layout.rightMargin: 12
            }

            ListView {
                id: list
                objectName: "chooserList"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                activeFocusOnTab: true
                boundsBehavior: Flickable.StopAtBounds
                model: folders
                Accessible.role: Accessible.List
                Accessible.name: "Folders in " + Format.lastComponent(chooser.folder)
                ScrollBar.vertical: ScrollBar { Accessible.name: "Scroll the folders" }

                function pick(row) {
                    if (count === 0)
                        return
                    chooser.picked = Math.max(0, Math.min(count - 1, row))
                    positionViewAtIndex(chooser.picked, ListView.Contain)
                }
                Keys.onEscapePressed: chooser.close()
                Keys.onUpPressed: pick(chooser.picked < 0 ? count - 1 : chooser.picked - 1)
                Keys.onDownPressed: pick(chooser.picked + 1)
                Keys.onPressed: (event) => {
                    if (event.key === Qt.Key_Backspace) {
                        chooser.goUp()
                        event.accepted = true
                    } else if (event.key === Qt.Key_Return || event.key === Qt.Key_Enter) {
                        // Return opens the picked folder; with nothing picked it chooses the
                        // folder shown.
                        if (chooser.picked >= 0)
                            chooser.openFolder(chooser.choice)
                        else
                            chooser.finish(chooser.folder)
                        event.accepted = true
                    } else if (event.key === Qt.Key_Home) {
                        pick(0)
                        event.accepted = true
                    } else if (event.key === Qt.Key_End) {
                        pick(count - 1)
                        event.accepted = true
                    }
                }

                delegate: Rectangle {
                    id: row
                    required property string fileName
                    required property string filePath
                    required property int index
                    readonly property bool isPicked: chooser.picked === index
                    objectName: "chooserRow"
                    width: ListView.view.width
                    implicitHeight: rowText.implicitHeight + 12
                    color: isPicked ? QuayTheme.selection : rowHover.hovered ? Qt.rgba(1, 1, 1, 0.04) : "transparent"
                    Accessible.role: Accessible.ListItem
                    Accessible.name: fileName
                    Accessible.selected: isPicked

                    HoverHandler { id: rowHover }
                    TapHandler {
                        onTapped: {
                            chooser.picked = row.index
                            list.forceActiveFocus()
                        }
                        onDoubleTapped: chooser.openFolder(row.filePath)
                    }
                    RowLayout {
                        anchors.fill: parent
                        anchors.leftMargin: 12
                        anchors.rightMargin: 12
                        spacing: 8
                        QuayIcon {
                            name: "folder.fill"
                            size: Math.round(15 * QuayTheme.textScale)
                            color: QuayTheme.mint
                        }
                        Label {
                            id: rowText
                            text: row.fileName
                            font.pointSize: 13 * QuayTheme.textUnit
                            elide: Text.ElideMiddle
                            Layout.fillWidth: true
                        }
                        Label {
                            text: "Folder"
                            font.pointSize: 12 * QuayTheme.textUnit
                            color: row.isPicked ? QuayTheme.text : QuayTheme.secondary
                        }
                    }
                    FocusRing { visible: list.activeFocus && row.isPicked }
                }

                Label {
                    objectName: "chooserEmpty"
                    anchors.centerIn: parent
                    visible: folders.status === FolderListModel.Ready && list.count === 0
                    text: "No folders inside. You can choose this folder."
                    font.pointSize: 13 * QuayTheme.textUnit
                    color: QuayTheme.secondary
                }
            }
        }
    }

    footer: RowLayout {
        spacing: 8
        Label {
            objectName: "chooserHint"
            text: "Return opens · Backspace goes up · Ctrl+L types a path"
            font.pointSize: 12 * QuayTheme.textUnit
            color: QuayTheme.secondary
            elide: Text.ElideRight
            Layout.fillWidth: true
            Layout.leftMargin: 18
        }
        Button {
            objectName: "chooserCancel"
            text: "Cancel"
            font.pointSize: 13 * QuayTheme.textUnit
            onClicked: chooser.close()
            Layout.bottomMargin: 14
            Layout.topMargin: 10
        }
        Button {
            objectName: "chooserAccept"
            text: chooser.acceptLabel
            font.pointSize: 13 * QuayTheme.textUnit
            highlighted: true
            // An open location field with text is what the user means, as Return there.
            onClicked: chooser.typing && location.text !== "" ? chooser.typed()
                                                               : chooser.finish(chooser.choice)
            Layout.bottomMargin: 14
            Layout.topMargin: 10
            Layout.rightMargin: 14
        }
    }
}
