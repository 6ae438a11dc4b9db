// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls
import Quaymark
import Quaymark.Models
import Quaymark.Downloads

// The one main window: menu bar commands, the content, the folder dialog and the quit alert.
ApplicationWindow {
    id: window

    required property AppModel appModel
    required property DownloadModel downloads
    required property WindowActions shell

    title: "Brindleway Quaymark"
    minimumWidth: 1200
    minimumHeight: 900
    width: 1340
    height: 1000
    color: QuayTheme.background

    // Every control, popup and dialog of the window reads these.
    palette.window: QuayTheme.background
    palette.windowText: QuayTheme.text
    palette.base: QuayTheme.sidebar
    palette.alternateBase: QuayTheme.panel
    palette.text: QuayTheme.text
    palette.placeholderText: QuayTheme.secondary
    palette.button: QuayTheme.control
    palette.buttonText: QuayTheme.text
    palette.brightText: "white"
    palette.light: Qt.lighter(QuayTheme.control, 1.4)
    palette.midlight: Qt.lighter(QuayTheme.control, 1.2)
    palette.mid: Qt.darker(QuayTheme.control, 1.3)
    palette.dark: Qt.darker(QuayTheme.control, 1.7)
    palette.shadow: "black"
    palette.highlight: QuayTheme.selection
    palette.highlightedText: "white"
    palette.toolTipBase: Qt.lighter(QuayTheme.panel, 1.5)
    palette.toolTipText: QuayTheme.text
    palette.link: QuayTheme.mint
    palette.disabled.windowText: Qt.darker(QuayTheme.secondary, 1.3)
    palette.disabled.text: Qt.darker(QuayTheme.secondary, 1.3)
    palette.disabled.buttonText: Qt.darker(QuayTheme.secondary, 1.3)

    Action {
        id: chooseSourceAction
        text: "Choose Source…"
        shortcut: "Ctrl+O"
        onTriggered: window.appModel.pickSource()
    }
    Action {
        id: chooseMainAction
        text: "Choose Main Destination…"
        shortcut: "Ctrl+Shift+D"
        onTriggered: window.appModel.pickTarget(false)
    }
    Action {
        id: addBackupAction
        text: "Add Backup Destination…"
        shortcut: "Ctrl+Shift+B"
        onTriggered: window.appModel.pickTarget(true)
    }
    Action {
        id: startAction
        text: "Start Verified Import"
        shortcut: "Ctrl+Return"
        enabled: window.appModel.canStart
        onTriggered: window.appModel.startImport()
    }
    Action {
        id: settingsAction
        text: "Import Settings…"
        shortcut: "Ctrl+,"
        onTriggered: window.appModel.showSettings = true
    }
    Action {
        id: closeAction
        text: "Close Window"
        shortcut: StandardKey.Close // qmllint disable unqualified
        onTriggered: window.close()
    }
    Action {
        id: quitAction
        text: "Quit Quaymark"
        shortcut: StandardKey.Quit // qmllint disable unqualified
        onTriggered: window.shell.requestQuit()
    }

    menuBar: MenuBar {
        // Screen readers read the title as written; the mnemonic's "&" is not part of it.
        delegate: MenuBarItem {
            Accessible.name: text.replace("&", "")
        }
        Menu {
            title: "&File"
            MenuItem { action: chooseSourceAction }
            MenuItem { action: chooseMainAction }
            MenuItem { action: addBackupAction }
            MenuItem { action: startAction }
            MenuSeparator {}
            MenuItem { action: settingsAction }
            MenuSeparator {}
            MenuItem { action: closeAction }
            MenuItem { action: quitAction }
        }
    }

    ContentView {
        objectName: "contentView"
        anchors.fill: parent
        appModel: window.appModel
        downloads: window.downloads
        shell: window.shell
    }

    FolderChooser {
        id: folderDialog
        objectName: "folderDialog"
        shell: window.shell
        volumes: window.appModel.drives.volumes
        // The next dialog opens beside the last folder chosen.
        property string nextStart: window.shell.homeFolder
        onAnswered: (folder) => {
            if (folder !== "")
                nextStart = Format.parentFolder(folder)
            window.shell.answerPath(folder)
        }
    }

    Dialog {
        id: quitAlert
        objectName: "quitAlert"
        title: "Work is still running"
        modal: true
        anchors.centerIn: Overlay.overlay
        Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, 0.45) }
        width: 480
        closePolicy: Popup.CloseOnEscape

        Label {
            width: parent.width
            text: "Keep Quaymark open until imports and downloads finish. Quitting interrupts active work; recovery records and download partials are kept."
            font.pointSize: 13 * QuayTheme.textUnit
            wrapMode: Text.Wrap
        }

        footer: DialogButtonBox {
            Button {
                objectName: "keepWorkingButton"
                text: "Keep Working"
                highlighted: true
                DialogButtonBox.buttonRole: DialogButtonBox.RejectRole // qmllint disable type
            }
            Button {
                objectName: "quitAnywayButton"
                text: "Quit Anyway"
                DialogButtonBox.buttonRole: DialogButtonBox.AcceptRole // qmllint disable type
            }
        }
        onAccepted: window.shell.quitAnyway()
    }

    Connections {
        target: window.shell
        function onFolderRequested(title, confirm) {
            folderDialog.show(title, confirm, folderDialog.nextStart)
        }
        function onProblemReported(text) {
            window.appModel.message = text
        }
        function onQuitConfirmationRequested() {
            quitAlert.open()
            quitAlert.forceActiveFocus()
        }
    }
}
