// SPDX-License-Identifier: GPL-3.0-or-later
pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark
import Quaymark.Models
import Quaymark.Downloads

// The options the next import uses, each control bound straight to the import model.
Dialog {
    id: sheet

    required property AppModel appModel
    // Cookies and downloads at once, shown under "Video projects" when given.
    property DownloadSettings downloadSettings: null
    // Opens the sheet at Video projects, as the downloads screen asks.
    function showVideoProjects() {
        appModel.showSettings = true
        scroll.contentItem.contentY = Math.max(0, videoSection.y - 12)
    }

    objectName: "importSettings"
    // Named for screen readers; the sheet shows its own heading instead of the title bar.
    title: "Import Settings"
    header: Item {}
    modal: true
    anchors.centerIn: Overlay.overlay
    Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, 0.45) }
    width: 740
    height: Math.min(800, parent ? parent.height - 40 : 800)
    padding: 0
    closePolicy: Popup.CloseOnEscape

    readonly property bool wanted: appModel.showSettings
    onWantedChanged: wanted ? open() : close()
    Component.onCompleted: if (wanted) open()
    // "Done" or any other dismissal only closes the sheet.
    onClosed: appModel.showSettings = false

    component Note: Label {
        font.pointSize: 13 * QuayTheme.textUnit
        color: QuayTheme.secondary
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }
    component Title: Label {
        font.pointSize: 15 * QuayTheme.textUnit
        font.weight: Font.DemiBold
    }
    component Separator: Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: QuayTheme.line
    }

    Shortcut {
        sequences: ["Return", "Enter"]
        enabled: sheet.opened
        onActivated: sheet.close()
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        // The heading and "Done" stay in place while the settings scroll below them.
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 28
            Layout.bottomMargin: 12
            ColumnLayout {
                spacing: 4
                Label {
                    text: "Make it your workflow."
                    font.pointSize: 23 * QuayTheme.textUnit
                    font.weight: Font.DemiBold
                }
                Label {
                    text: "Settings apply to the next import."
                    font.pointSize: 13 * QuayTheme.textUnit
                    color: QuayTheme.secondary
                }
            }
            Item { Layout.fillWidth: true }
            Button {
                objectName: "doneButton"
                text: "Done"
                highlighted: true
                onClicked: sheet.close()
            }
        }
        Separator {
            Layout.leftMargin: 28
            Layout.rightMargin: 28
        }

        ScrollView {
            id: scroll
            objectName: "settingsScroll"
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            clip: true

            ColumnLayout {
                x: 28
                width: scroll.availableWidth - 56
                spacing: 12

                Item { implicitHeight: 4 }

                Title { text: "Automatic folder naming" }
                TextField {
                    objectName: "folderRuleField"
                    Accessible.name: "Automatic folder naming"
                    placeholderText: "{date}/{source}_{time}"
                    text: sheet.appModel.folderRule
                    onTextEdited: sheet.appModel.folderRule = text
                    font.pointSize: 14 * QuayTheme.textUnit
                    Layout.fillWidth: true
                }
                Label {
                    text: "{date}  {camera}  {time}  {source}  {year}  {month}  {day}"
                    font.pointSize: 12 * QuayTheme.textUnit
                    color: QuayTheme.secondary
                }
                Label {
                    objectName: "namingPreview"
                    text: "Preview: " + sheet.appModel.namingPreview
                    font.pointSize: 13 * QuayTheme.textUnit
                    elide: Text.ElideMiddle
                    Layout.fillWidth: true
                }
                Label {
                    text: "Dates use this computer’s local time. Every import gets a fresh folder; repeat names receive a number."
                    font.pointSize: 12 * QuayTheme.textUnit
                    color: QuayTheme.secondary
                    wrapMode: Text.Wrap
                    Layout.fillWidth: true
                }

                Separator {}

                QuaySwitch {
                    objectName: "videosOnlySwitch"
                    text: "Video clips only · show and copy clips without subfolders"
                    checked: sheet.appModel.videosOnly
                    onToggled: sheet.appModel.videosOnly = checked
                    font.pointSize: 14 * QuayTheme.textUnit
                }
                Note {
                    text: "Includes MOV, MP4, R3D, NEV, BRAW, MXF and other camera video formats. Images, sidecars and non-video files are excluded in this mode. Duplicate clip names receive distinct names."
                }
                Label {
                    objectName: "cameraLine"
                    text: "Camera: " + sheet.appModel.cameraName
                    font.pointSize: 14 * QuayTheme.textUnit
                    font.weight: Font.Medium
                }
                TextField {
                    objectName: "cameraOverrideField"
                    Accessible.name: "Camera name override for this card / SSD"
                    placeholderText: "Camera name override for this card / SSD"
                    text: sheet.appModel.cameraOverride
                    onTextEdited: sheet.appModel.cameraOverride = text
                    enabled: sheet.appModel.source !== ""
                    font.pointSize: 14 * QuayTheme.textUnit
                    Layout.fillWidth: true
                }
                Note {
                    text: "{camera} uses clip metadata where available, or your saved override. Unsupported metadata uses ‘Unknown Camera’."
                }

                Separator {}

                Title { text: "Transfer performance" }
                Label {
                    text: "Parallel files per destination"
                    font.pointSize: 13 * QuayTheme.textUnit
                }
                RowLayout {
                    objectName: "parallelFilesControl"
                    spacing: 0
                    Accessible.role: Accessible.Grouping
                    Accessible.name: "Parallel files per destination"
                    Repeater {
                        model: [
                            { value: 1, title: "1 · HDD / network" },
                            { value: 2, title: "2 · Balanced" },
                            { value: 3, title: "3" },
                            { value: 4, title: "4 · Fast SSDs" }
                        ]
                        delegate: Button {
                            required property var modelData
                            objectName: "parallelSegment"
                            text: modelData.title
                            checkable: true
                            // One choice of four, as radio buttons are.
                            Accessible.role: Accessible.RadioButton
                            checked: sheet.appModel.parallelFiles === modelData.value
                            // The model holds the choice; a click never leaves a segment unchecked.
                            onClicked: {
                                sheet.appModel.parallelFiles = modelData.value
                                checked = Qt.binding(() => sheet.appModel.parallelFiles === modelData.value)
                            }
                            palette.button: checked ? QuayTheme.selection : QuayTheme.control
                            Layout.preferredWidth: 150
                        }
                    }
                }
                Note {
                    text: "Large files stream in 8 MB blocks. Destinations run independently. More parallel files can help SSDs and slow down hard disks; shared USB buses and network links set the real speed limit."
                }

                Separator {}

                QuaySwitch {
                    objectName: "writeMhlSwitch"
                    text: "Write ASC MHL"
                    checked: sheet.appModel.writeMhl
                    onToggled: sheet.appModel.writeMhl = checked
                    font.pointSize: 13 * QuayTheme.textUnit
                }
                Note {
                    text: "A media hash list other offload and post tools can verify."
                }

                QuaySwitch {
                    objectName: "writeReportSwitch"
                    text: "Write handover report"
                    checked: sheet.appModel.writeReport
                    onToggled: sheet.appModel.writeReport = checked
                    font.pointSize: 13 * QuayTheme.textUnit
                }
                Note {
                    text: "_QUAYMARK_REPORT.pdf, .csv and .html in every verified import folder once a batch ends: the card, every destination, and each clip with a preview, timecode, duration, codec, resolution, frame rate, audio and hashes, read from the copy."
                }
                GridLayout {
                    objectName: "reportHeading"
                    enabled: sheet.appModel.writeReport
                    columns: 2
                    columnSpacing: 10
                    rowSpacing: 6
                    Layout.fillWidth: true
                    Label { text: "Production"; font.pointSize: 13 * QuayTheme.textUnit }
                    TextField {
                        objectName: "productionField"
                        Accessible.name: "Production"
                        placeholderText: "Optional"
                        text: sheet.appModel.production
                        onTextEdited: sheet.appModel.production = text
                        font.pointSize: 13 * QuayTheme.textUnit
                        Layout.fillWidth: true
                    }
                    Label { text: "Shooting day"; font.pointSize: 13 * QuayTheme.textUnit }
                    TextField {
                        objectName: "shootingDayField"
                        Accessible.name: "Shooting day"
                        placeholderText: "Optional"
                        text: sheet.appModel.shootingDay
                        onTextEdited: sheet.appModel.shootingDay = text
                        font.pointSize: 13 * QuayTheme.textUnit
                        Layout.fillWidth: true
                    }
                    Label { text: "Operator"; font.pointSize: 13 * QuayTheme.textUnit }
                    TextField {
                        objectName: "operatorField"
                        Accessible.name: "Operator"
                        placeholderText: "Optional"
                        text: sheet.appModel.reportOperator
                        onTextEdited: sheet.appModel.reportOperator = text
                        font.pointSize: 13 * QuayTheme.textUnit
                        Layout.fillWidth: true
                    }
                }

                Separator {}

                QuaySwitch {
                    objectName: "autoImportSwitch"
                    text: "Automatically import newly connected enrolled drives"
                    checked: sheet.appModel.autoEnabled
                    onToggled: sheet.appModel.autoEnabled = checked
                    font.pointSize: 14 * QuayTheme.textUnit
                }
                Note {
                    text: "Enroll each camera card or SSD from the source pane. Auto-import copies the entire enrolled volume to all saved destinations. The app must stay running; it does not launch itself at login."
                }
                Label {
                    text: "Drives"
                    font.pointSize: 13 * QuayTheme.textUnit
                    font.weight: Font.Medium
                }
                Note {
                    objectName: "noDrives"
                    visible: sheet.appModel.enrolledDrives.length === 0
                    text: "No drives enrolled yet."
                }
                Repeater {
                    model: sheet.appModel.enrolledDrives
                    delegate: RowLayout {
                        id: drive
                        required property var modelData
                        objectName: "enrolledDrive"
                        Layout.fillWidth: true
                        spacing: 8
                        QuayIcon { name: "externaldrive"; color: QuayTheme.secondary; size: 15 }
                        Label {
                            objectName: "enrolledName"
                            text: drive.modelData.title
                            font.pointSize: 13 * QuayTheme.textUnit
                            elide: Text.ElideRight
                            Layout.fillWidth: true
                        }
                        FlatButton {
                            objectName: "unenrollButton"
                            text: "Remove"
                            Accessible.name: "Remove " + drive.modelData.title + " from automatic import"
                            fontSize: 12
                            onClicked: sheet.appModel.unenroll(drive.modelData.id)
                        }
                    }
                }
                Label {
                    text: "Card readers"
                    font.pointSize: 13 * QuayTheme.textUnit
                    font.weight: Font.Medium
                }
                Note {
                    objectName: "noReaders"
                    visible: sheet.appModel.readers.readers.length === 0
                    text: "No card readers enrolled yet. Every card in an enrolled reader imports itself, also after the camera formats it."
                }
                Repeater {
                    model: sheet.appModel.readers.readers
                    delegate: RowLayout {
                        id: reader
                        required property var modelData
                        objectName: "enrolledReader"
                        Layout.fillWidth: true
                        spacing: 8
                        QuayIcon { name: "sdcard"; color: QuayTheme.secondary; size: 15 }
                        ColumnLayout {
                            spacing: 0
                            Layout.fillWidth: true
                            Label {
                                text: reader.modelData.title
                                font.pointSize: 13 * QuayTheme.textUnit
                                elide: Text.ElideRight
                                Layout.fillWidth: true
                            }
                            Label {
                                text: reader.modelData.id
                                font.pointSize: 12 * QuayTheme.textUnit
                                color: QuayTheme.secondary
                                elide: Text.ElideMiddle
                                Layout.fillWidth: true
                            }
                        }
                        FlatButton {
                            objectName: "removeReaderButton"
                            text: "Remove"
                            Accessible.name: "Remove " + reader.modelData.title + " from automatic import"
                            fontSize: 12
                            onClicked: sheet.appModel.readers.remove(reader.modelData.id)
                        }
                    }
                }

                Separator {}

                Title { text: "Safe to format" }
                RowLayout {
                    spacing: 10
                    Label {
                        text: "Verified copies on separate drives"
                        font.pointSize: 13 * QuayTheme.textUnit
                        Layout.fillWidth: true
                    }
                    SpinBox {
                        objectName: "requiredCopies"
                        from: 1
                        to: 5
                        value: sheet.appModel.requiredCopies
                        onValueModified: sheet.appModel.requiredCopies = value
                        Accessible.name: "Verified copies on separate drives before a card is safe to format"
                    }
                }
                Note {
                    text: "A card is safe to format once every file on it has this many verified copies, each on another physical drive, and the card holds nothing new or changed since."
                }

                Separator { visible: sheet.downloadSettings !== null }

                VideoProjectSettings {
                    id: videoSection
                    objectName: "videoProjectSettings"
                    visible: sheet.downloadSettings !== null
                    settings: sheet.downloadSettings
                    Layout.fillWidth: true
                }

                Separator {}

                RowLayout {
                    spacing: 8
                    QuayIcon { name: "checkmark.shield.fill"; color: QuayTheme.mint; size: 16 }
                    Label {
                        text: "Verification is always on"
                        font.pointSize: 14 * QuayTheme.textUnit
                        font.weight: Font.Medium
                    }
                }
                Note {
                    text: "Each copy is reread and checked with SHA-256. Recovery journals preserve verified work across interruptions. Video-only mode flattens clips; all-files mode keeps folder paths. Sources are never deleted. Network folders must already be mounted."
                }

                Item { implicitHeight: 16 }
            }
        }
    }
}
