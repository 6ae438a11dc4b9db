// SPDX-License-Identifier: GPL-3.0-or-later
pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark
import Quaymark.Models

// Every destination of the next import, main copy first, and the folder naming in use.
ColumnLayout {
    id: section

    required property AppModel appModel

    spacing: 10

    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        Label {
            text: "COPY DESTINATIONS"
            font.pointSize: 12 * QuayTheme.textUnit
            font.weight: Font.DemiBold
            font.letterSpacing: 1.4
            color: QuayTheme.secondary
        }
        Label {
            objectName: "destinationCount"
            text: String(section.appModel.targets.length)
            font.pointSize: 12 * QuayTheme.textUnit
            color: QuayTheme.secondary
        }
        Item { Layout.fillWidth: true }
        FlatButton {
            objectName: "addBackupButton"
            text: "Add backup"
            symbol: "plus"
            fontSize: 13
            fontWeight: Font.Medium
            onClicked: section.appModel.pickTarget(true)
        }
    }

    Label {
        objectName: "destinationHint"
        visible: section.appModel.targets.length === 0
        text: "Choose a main destination above. Add backups on other drives or mounted network shares."
        font.pointSize: 13 * QuayTheme.textUnit
        color: QuayTheme.secondary
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }

    ListView {
        objectName: "destinationCards"
        visible: section.appModel.targets.length > 0
        Layout.fillWidth: true
        Layout.preferredHeight: Math.round(58 * QuayTheme.textScale)
        orientation: ListView.Horizontal
        spacing: 10
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        model: section.appModel.targets
        ScrollBar.horizontal: ScrollBar {
            policy: ScrollBar.AsNeeded
            Accessible.name: "Scroll the destinations"
        }
        delegate: Rectangle {
            id: card
            required property string modelData
            required property int index
            width: Math.round(230 * QuayTheme.textScale)
            height: ListView.view.height
            radius: 9
            color: QuayTheme.panel
            HoverHandler { id: cardHover }
            ToolTip.visible: cardHover.hovered
            ToolTip.text: modelData
            ToolTip.delay: 500
            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 12
                anchors.rightMargin: 4
                spacing: 10
                QuayIcon {
                    name: card.index === 0 ? "externaldrive.fill" : "shield.lefthalf.filled"
                    size: 18
                    color: card.index === 0 ? QuayTheme.mint : QuayTheme.secondary
                }
                ColumnLayout {
                    spacing: 2
                    Layout.fillWidth: true
                    Label {
                        objectName: "destinationCaption"
                        text: card.index === 0 ? "MAIN COPY" : "BACKUP " + card.index
                        font.pointSize: 12 * QuayTheme.textUnit
                        font.weight: Font.DemiBold
                        font.letterSpacing: 1
                        color: QuayTheme.secondary
                    }
                    Label {
                        text: Format.lastComponent(card.modelData)
                        font.pointSize: 13 * QuayTheme.textUnit
                        font.weight: Font.Medium
                        elide: Text.ElideMiddle
                        Layout.fillWidth: true
                    }
                }
                FlatButton {
                    objectName: "removeDestination"
                    symbol: "xmark"
                    iconSize: 11
                    tint: QuayTheme.secondary
                    tip: "Remove destination from future imports"
                    Accessible.name: "Remove " + Format.lastComponent(card.modelData) + " from the destinations"
                    Layout.alignment: Qt.AlignTop
                    onClicked: section.appModel.removeTarget(card.index)
                }
            }
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 8
        QuayIcon { name: "folder.badge.gearshape"; size: 15; color: QuayTheme.secondary }
        Label {
            objectName: "namingLine"
            text: section.appModel.effectiveCamera + " · " + section.appModel.namingPreview
            font.pointSize: 12 * QuayTheme.textUnit
            elide: Text.ElideMiddle
            Layout.fillWidth: true
        }
        FlatButton {
            text: "Edit rule"
            fontSize: 12
            onClicked: section.appModel.showSettings = true
        }
    }
}
