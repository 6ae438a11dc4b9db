// SPDX-License-Identifier: GPL-3.0-or-later
pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark
import Quaymark.Models

// The import queue: one card per batch, newest first, and the interrupted imports to recover.
ColumnLayout {
    id: section

    required property AppModel appModel
    // The batches shown: the model's queue, newest first.
    property var batches: appModel.queue.batches
    signal openFolder(string folder)
    signal openDocument(string pdf)

    spacing: 10

    RowLayout {
        Layout.fillWidth: true
        spacing: 6
        Label {
            text: "TRANSFER ACTIVITY"
            font.pointSize: 12 * QuayTheme.textUnit
            font.weight: Font.DemiBold
            font.letterSpacing: 1.4
            color: QuayTheme.secondary
        }
        Item { Layout.fillWidth: true }
        FlatButton {
            objectName: "recoverButton"
            text: "Recover interrupted…"
            fontSize: 12
            onClicked: section.appModel.pickRecovery()
        }
        FlatButton {
            objectName: "clearFinishedButton"
            text: "Clear finished"
            fontSize: 12
            onClicked: section.appModel.queue.clearFinished()
        }
    }

    FlatButton {
        id: recoveryButton
        objectName: "recoveryMenuButton"
        visible: section.appModel.recoveries.entries.length > 0
        text: Format.count(section.appModel.recoveries.entries.length, "interrupted import",
                           "interrupted imports") + " available to recover"
        symbol: "arrow.clockwise.circle"
        tint: QuayTheme.orange
        fontSize: 12
        onClicked: {
            section.appModel.refreshRecoveries()
            recoveryMenu.popup(recoveryButton, 0, recoveryButton.height)
        }

        Menu {
            id: recoveryMenu
            objectName: "recoveryMenu"
            Instantiator {
                model: section.appModel.recoveries.entries
                delegate: MenuItem {
                    required property var modelData
                    text: modelData.label
                    onTriggered: section.appModel.queue.recover(modelData.folder)
                }
                onObjectAdded: (index, object) => recoveryMenu.insertItem(index, object)
                onObjectRemoved: (index, object) => recoveryMenu.removeItem(object)
            }
        }
    }

    Item {
        visible: section.batches.length === 0
        Layout.fillWidth: true
        Layout.fillHeight: true
        implicitHeight: empty.implicitHeight

        ColumnLayout {
            id: empty
            objectName: "emptyActivity"
            anchors.centerIn: parent
            spacing: 8
            QuayIcon {
                name: "arrow.down.to.line.circle"
                size: 28
                color: QuayTheme.secondary
                Layout.alignment: Qt.AlignHCenter
            }
            Label {
                text: "Ready when you are"
                font.pointSize: 16 * QuayTheme.textUnit
                font.weight: Font.Medium
                Layout.alignment: Qt.AlignHCenter
            }
            Label {
                text: "Choose your source and destinations. Every copy gets its own verification."
                font.pointSize: 13 * QuayTheme.textUnit
                color: QuayTheme.secondary
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
                Layout.maximumWidth: section.width
                Layout.alignment: Qt.AlignHCenter
            }
        }
    }

    // Every batch at full height: the page scrolls, never a list inside it.
    Repeater {
        model: section.batches
        delegate: BatchView {
            required property ImportBatch modelData
            batch: modelData
            Layout.fillWidth: true
            onRetry: (job) => section.appModel.queue.retry(job, modelData)
            onOpenFolder: (folder) => section.openFolder(folder)
            onOpenDocument: (pdf) => section.openDocument(pdf)
            onEject: section.appModel.drives.eject(modelData.source)
        }
    }
}
