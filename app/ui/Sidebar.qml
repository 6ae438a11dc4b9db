// SPDX-License-Identifier: GPL-3.0-or-later
pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark
import Quaymark.Models

// The fixed left column: brand, sections, connected drives and automatic ingest.
Rectangle {
    id: sidebar

    required property AppModel appModel
    required property string section
    signal sectionChosen(string name)

    color: QuayTheme.sidebar

    component SectionButton: AbstractButton {
        id: sectionButton
        property string symbol
        property bool selected
        Layout.fillWidth: true
        implicitHeight: Math.round(36 * QuayTheme.textScale)
        font.pointSize: 14 * QuayTheme.textUnit
        font.weight: Font.DemiBold
        focusPolicy: Qt.StrongFocus
        Accessible.role: Accessible.Button
        Accessible.name: text
        FocusRing { visible: sectionButton.visualFocus }
        background: Rectangle {
            radius: 7
            color: sectionButton.selected ? Qt.rgba(QuayTheme.mint.r, QuayTheme.mint.g, QuayTheme.mint.b, 0.08)
                 : sectionButton.hovered ? Qt.rgba(1, 1, 1, 0.03) : "transparent"
        }
        contentItem: RowLayout {
            spacing: 10
            Item { implicitWidth: 2 }
            QuayIcon {
                name: sectionButton.symbol
                size: 17
                color: sectionButton.selected ? QuayTheme.mint : QuayTheme.secondary
            }
            Label {
                text: sectionButton.text
                font: sectionButton.font
                Layout.fillWidth: true
            }
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 16
        anchors.topMargin: 22
        spacing: 14

        RowLayout {
            spacing: 10
            QuayIcon { name: "square.stack.3d.down.right.fill"; size: 26; color: QuayTheme.mint }
            ColumnLayout {
                spacing: 0
                Label {
                    text: "BRINDLEWAY"
                    font.pointSize: 12 * QuayTheme.textUnit
                    font.bold: true
                    font.letterSpacing: 2
                    color: QuayTheme.secondary
                }
                Label {
                    text: "Quaymark"
                    font.pointSize: 21 * QuayTheme.textUnit
                    font.weight: Font.DemiBold
                    font.letterSpacing: -0.5
                }
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.topMargin: 8
            spacing: 4
            SectionButton {
                objectName: "ingestSection"
                text: "Media ingest"
                symbol: "arrow.down.doc.fill"
                selected: sidebar.section === "ingest"
                onClicked: sidebar.sectionChosen("ingest")
            }
            SectionButton {
                objectName: "downloadsSection"
                text: "Video projects"
                symbol: "play.rectangle.on.rectangle"
                selected: sidebar.section === "downloads"
                onClicked: sidebar.sectionChosen("downloads")
            }
            SectionButton {
                objectName: "librarySection"
                text: "Library"
                symbol: "books.vertical"
                selected: sidebar.section === "library"
                onClicked: sidebar.sectionChosen("library")
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.topMargin: 10
            Label {
                text: "CONNECTED DRIVES"
                font.pointSize: 12 * QuayTheme.textUnit
                font.weight: Font.DemiBold
                font.letterSpacing: 1.3
                color: QuayTheme.secondary
            }
            Item { Layout.fillWidth: true }
            FlatButton {
                symbol: "arrow.clockwise"
                iconSize: 14
                tint: QuayTheme.secondary
                tip: "Refresh connected drives"
                onClicked: sidebar.appModel.drives.refreshVolumes()
            }
        }

        Label {
            objectName: "noDrives"
            visible: sidebar.appModel.drives.volumes.length === 0
            text: "Connect a camera card or SSD to get started."
            font.pointSize: 13 * QuayTheme.textUnit
            color: QuayTheme.secondary
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }

        ListView {
            id: drives
            objectName: "driveList"
            visible: count > 0
            Layout.fillWidth: true
            Layout.preferredHeight: Math.min(contentHeight, 240)
            clip: true
            spacing: 2
            boundsBehavior: Flickable.StopAtBounds
            model: sidebar.appModel.drives.volumes
            ScrollBar.vertical: ScrollBar { Accessible.name: "Scroll the drives" }
            delegate: AbstractButton {
                id: drive
                required property var modelData
                readonly property bool enrolled: modelData.uuid !== undefined && modelData.uuid !== ""
                                                 && sidebar.appModel.enrolled[modelData.uuid] !== undefined
                width: ListView.view.width
                implicitHeight: Math.round(44 * QuayTheme.textScale)
                focusPolicy: Qt.StrongFocus
                Accessible.role: Accessible.Button
                Accessible.name: modelData.name
                Accessible.description: drive.enrolled ? "Auto-import enrolled" : "Click to browse"
                FocusRing { visible: drive.visualFocus }
                onClicked: sidebar.appModel.setSource(modelData.url)
                background: Rectangle {
                    radius: 7
                    color: drive.hovered ? Qt.rgba(1, 1, 1, 0.04) : "transparent"
                }
                contentItem: RowLayout {
                    spacing: 10
                    Item { implicitWidth: 2 }
                    QuayIcon {
                        name: drive.modelData.removable ? "externaldrive" : "network"
                        size: 19
                        color: QuayTheme.secondary
                    }
                    ColumnLayout {
                        spacing: 1
                        Layout.fillWidth: true
                        Label {
                            text: drive.modelData.name
                            font.pointSize: 13 * QuayTheme.textUnit
                            font.weight: Font.Medium
                            elide: Text.ElideRight
                            Layout.fillWidth: true
                        }
                        Label {
                            objectName: "driveNote"
                            text: drive.modelData.cardState ? drive.modelData.cardState
                                  : drive.enrolled ? "Auto-import enrolled" : "Click to browse"
                            font.pointSize: 12 * QuayTheme.textUnit
                            color: drive.modelData.safeToFormat ? QuayTheme.mint : QuayTheme.secondary
                            elide: Text.ElideRight
                            Layout.fillWidth: true
                        }
                    }
                    FlatButton {
                        objectName: "ejectDriveButton"
                        visible: drive.modelData.removable
                        symbol: "eject"
                        iconSize: 15
                        tint: QuayTheme.secondary
                        tip: "Eject " + drive.modelData.name
                        Accessible.name: "Eject " + drive.modelData.name
                        onClicked: sidebar.appModel.drives.eject(drive.modelData.url)
                    }
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            Layout.topMargin: 6
            implicitHeight: autoColumn.implicitHeight + 20
            radius: 9
            color: QuayTheme.panel
            ColumnLayout {
                id: autoColumn
                anchors.fill: parent
                anchors.margins: 10
                spacing: 8
                RowLayout {
                    spacing: 6
                    QuayIcon {
                        name: "bolt.circle.fill"
                        size: 17
                        color: sidebar.appModel.autoEnabled ? QuayTheme.mint : QuayTheme.secondary
                    }
                    Label {
                        text: "Automatic ingest"
                        font.pointSize: 13 * QuayTheme.textUnit
                        font.weight: Font.Medium
                        Layout.fillWidth: true
                    }
                    QuaySwitch {
                        id: autoSwitch
                        objectName: "autoSwitch"
                        padding: 0
                        checked: sidebar.appModel.autoEnabled
                        onToggled: sidebar.appModel.autoEnabled = checked
                        Accessible.name: "Automatic ingest"
                    }
                }
                Label {
                    objectName: "autoNote"
                    text: sidebar.appModel.autoEnabled
                          ? "Newly connected enrolled drives import to every saved destination. Keep the app running."
                          : "Enroll a card or SSD, then turn this on for hands-free imports."
                    font.pointSize: 12 * QuayTheme.textUnit
                    color: QuayTheme.secondary
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }
            }
        }

        FlatButton {
            objectName: "enrollButton"
            text: sidebar.appModel.enrolledSource ? "Remove this drive" : "Enroll source drive"
            symbol: sidebar.appModel.enrolledSource ? "minus.circle" : "plus.circle"
            fontSize: 12
            fontWeight: Font.Medium
            enabled: sidebar.appModel.source !== ""
            onClicked: sidebar.appModel.enrollSource()
        }

        FlatButton {
            objectName: "enrollReaderButton"
            text: "Enroll card reader"
            symbol: "plus.circle"
            fontSize: 12
            fontWeight: Font.Medium
            enabled: sidebar.appModel.source !== ""
            Accessible.description: "Every card in this reader imports itself, also after a format"
            onClicked: sidebar.appModel.readers.toggle(sidebar.appModel.source)
        }

        Item { Layout.fillHeight: true }

        FlatButton {
            text: "Import settings"
            symbol: "slider.horizontal.3"
            fontSize: 13
            onClicked: sidebar.appModel.showSettings = true
        }

        Label {
            text: "BRINDLEWAY QUAYMARK  /  " + sidebar.appModel.version
            font.pointSize: 12 * QuayTheme.textUnit
            color: QuayTheme.secondary
        }
    }
}
