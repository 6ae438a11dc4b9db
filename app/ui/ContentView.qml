// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark
import Quaymark.Models
import Quaymark.Downloads

// The main window's content: the sidebar and the selected area, with the window's sheets.
Rectangle {
    id: root

    required property AppModel appModel
    required property DownloadModel downloads
    required property WindowActions shell

    // The one piece of view state: which area the sidebar selected.
    property string section: "ingest"

    color: QuayTheme.background

    RowLayout {
        anchors.fill: parent
        spacing: 0

        Sidebar {
            objectName: "sidebar"
            appModel: root.appModel
            section: root.section
            onSectionChosen: (name) => root.section = name
            // 245 at the usual text size, wider for larger text while the window has room.
            Layout.preferredWidth: Math.round(Math.min(245 * Math.max(1, QuayTheme.textScale),
                                                       Math.max(245, root.width * 0.26)))
            Layout.fillHeight: true
        }
        Rectangle {
            Layout.preferredWidth: 1
            Layout.fillHeight: true
            color: QuayTheme.line
        }
        StackLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            currentIndex: root.section === "ingest" ? 0 : root.section === "downloads" ? 1 : 2
            ImportScreen {
                objectName: "importScreen"
                appModel: root.appModel
                onReveal: (path) => root.shell.reveal(path)
                onOpenFolder: (folder) => root.shell.openFolder(folder)
                onOpenDocument: (pdf) => root.shell.openDocument(pdf)
            }
            DownloadsView {
                objectName: "downloadsView"
                downloads: root.downloads
                onOpenFolder: (folder) => root.shell.openFolder(folder)
                onReveal: (path) => root.shell.reveal(path)
                onSettingsWanted: settingsSheet.showVideoProjects()
            }
            LibraryView {
                objectName: "libraryView"
                library: root.appModel.library
                onReveal: (path) => root.shell.reveal(path)
                onScanDrive: root.appModel.pickScanFolder()
                onOpenDocument: (pdf) => root.shell.openDocument(pdf)
            }
        }
    }

    ImportSettings {
        id: settingsSheet
        appModel: root.appModel
        downloadSettings: root.downloads.settings
    }

    Dialog {
        id: importAgain
        objectName: "importAgainDialog"
        title: "Import this card again?"
        modal: true
        anchors.centerIn: Overlay.overlay
        Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, 0.45) }
        width: 460
        readonly property string question: root.appModel.confirmation
        onQuestionChanged: question !== "" ? open() : close()
        standardButtons: Dialog.Ok | Dialog.Cancel
        onAboutToShow: standardButton(Dialog.Ok).text = "Import again"
        onAccepted: root.appModel.answerConfirmation(true)
        // Cancel, Escape or a click outside: nothing is imported.
        onRejected: root.appModel.answerConfirmation(false)
        Label {
            objectName: "importAgainText"
            width: parent.width
            text: importAgain.question
            font.pointSize: 13 * QuayTheme.textUnit
            wrapMode: Text.Wrap
        }
    }

    Dialog {
        id: ejectAnyway
        objectName: "ejectDialog"
        title: "Eject a card that is not safe to format?"
        modal: true
        anchors.centerIn: Overlay.overlay
        Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, 0.45) }
        width: 460
        readonly property string question: root.appModel.drives.ejectQuestion
        onQuestionChanged: question !== "" ? open() : close()
        standardButtons: Dialog.Ok | Dialog.Cancel
        onAboutToShow: standardButton(Dialog.Ok).text = "Eject"
        onAccepted: root.appModel.drives.answerEject(true)
        onRejected: root.appModel.drives.answerEject(false)
        Label {
            width: parent.width
            text: ejectAnyway.question
            font.pointSize: 13 * QuayTheme.textUnit
            wrapMode: Text.Wrap
        }
    }

    Dialog {
        id: statusAlert
        objectName: "statusAlert"
        title: "Quaymark"
        modal: true
        anchors.centerIn: Overlay.overlay
        Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, 0.45) }
        width: 460
        standardButtons: Dialog.Ok
        // Return dismisses it wherever the focus was (see the text).
        focus: true

        readonly property string message: root.appModel.message
        onMessageChanged: message !== "" ? open() : close()
        Component.onCompleted: if (message !== "") open()
        // However it is dismissed, the message is cleared.
        onClosed: root.appModel.message = ""

        Label {
            objectName: "statusText"
            focus: true
            Keys.onReturnPressed: statusAlert.accept()
            Keys.onEnterPressed: statusAlert.accept()
            width: parent.width
            text: statusAlert.message
            font.pointSize: 13 * QuayTheme.textUnit
            wrapMode: Text.Wrap
        }
    }
}
