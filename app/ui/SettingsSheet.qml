import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark

// Where the import settings will be edited; shown while the model asks for it.
Dialog {
    id: sheet

    required property var model

    objectName: "settingsSheet"
    title: "Import Settings"
    modal: true
    anchors.centerIn: Overlay.overlay
    width: 520
    standardButtons: Dialog.Close

    readonly property bool wanted: model.showSettings
    onWantedChanged: wanted ? open() : close()
    onClosed: model.showSettings = false

    Label {
        width: parent.width
        text: "Folder rule: " + sheet.model.folderRule
        font.pixelSize: 13
        wrapMode: Text.Wrap
    }
}
