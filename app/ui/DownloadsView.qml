// SPDX-License-Identifier: GPL-3.0-or-later
pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark
import Quaymark.Downloads

// The video projects: the list on the left, the selected project on the right, the tools below.
Rectangle {
    id: view

    required property DownloadModel downloads
    signal openFolder(string folder)
    signal reveal(string path)
    // The cookies and downloads-at-once settings are asked for.
    signal settingsWanted()

    // The selected project's map; empty when none is selected.
    readonly property var project: downloads.project
    readonly property bool hasProject: project.id !== undefined
    readonly property var links: hasProject ? project.links : []
    readonly property string projectFolder: project.folder ?? ""

    color: QuayTheme.background

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 28
        spacing: 18

        RowLayout {
            Layout.fillWidth: true
            ColumnLayout {
                spacing: 4
                Label {
                    text: "Collect your next story."
                    font.pointSize: 30 * QuayTheme.textUnit
                    font.weight: Font.DemiBold
                    font.letterSpacing: -0.8
                }
                Label {
                    text: "Projects for your references, research and B-roll."
                    font.pointSize: 14 * QuayTheme.textUnit
                    color: QuayTheme.secondary
                }
            }
            Item { Layout.fillWidth: true }
            Button {
                objectName: "videoSettingsButton"
                text: "Cookies and downloads…"
                icon.source: "image://icon/slider.horizontal.3"
                icon.color: QuayTheme.text
                Accessible.description: "Opens Settings at Video projects"
                onClicked: view.settingsWanted()
            }
            Button {
                objectName: "pauseAllButton"
                visible: view.downloads.queue.busy
                text: "Pause all"
                onClicked: view.downloads.queue.pauseAll()
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 18

            // Project list
            Rectangle {
                Layout.preferredWidth: 290
                Layout.fillHeight: true
                radius: 10
                color: QuayTheme.sidebar

                ColumnLayout {
                    anchors.fill: parent
                    anchors.margins: 16
                    spacing: 10

                    Label {
                        text: "YOUR PROJECTS"
                        font.pointSize: 12 * QuayTheme.textUnit
                        font.weight: Font.DemiBold
                        font.letterSpacing: 1.4
                        color: QuayTheme.secondary
                    }
                    TextField {
                        objectName: "newProjectField"
                        Accessible.name: "New project name"
                        placeholderText: "New project name"
                        text: view.downloads.newName
                        onTextEdited: view.downloads.newName = text
                        onAccepted: view.downloads.createProject()
                        font.pointSize: 13 * QuayTheme.textUnit
                        Layout.fillWidth: true
                    }
                    ComboBox {
                        objectName: "newPresetBox"
                        Accessible.name: "Preset of the new project"
                        model: view.downloads.presetTitles
                        currentIndex: view.downloads.newPreset
                        onActivated: index => view.downloads.newPreset = index
                        font.pointSize: 12 * QuayTheme.textUnit
                        Layout.fillWidth: true
                    }
                    Button {
                        objectName: "createProjectButton"
                        text: "Create project"
                        icon.source: "image://icon/plus"
                        icon.color: enabled ? QuayTheme.text : palette.disabled.buttonText
                        enabled: view.downloads.canCreate
                        onClicked: view.downloads.createProject()
                        Layout.fillWidth: true
                    }
                    ListView {
                        objectName: "projectList"
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        clip: true
                        spacing: 2
                        // Rows change in place while links download, keeping hover and clicks.
                        model: view.downloads.projectRows
                        ScrollBar.vertical: ScrollBar { Accessible.name: "Scroll projects" }
                        delegate: ItemDelegate {
                            id: projectRow
                            required property var project
                            required property string projectId
                            readonly property bool chosen: projectId === view.downloads.selected
                            objectName: "projectRow"
                            Accessible.name: project.name + ", " + project.countText
                            width: ListView.view.width
                            onClicked: view.downloads.selected = projectId
                            background: Rectangle {
                                radius: 8
                                color: projectRow.chosen
                                       ? Qt.rgba(QuayTheme.mint.r, QuayTheme.mint.g, QuayTheme.mint.b, 0.09)
                                       : projectRow.hovered ? QuayTheme.panel : "transparent"
                            }
                            contentItem: RowLayout {
                                spacing: 10
                                QuayIcon {
                                    name: "rectangle.stack"
                                    color: projectRow.chosen ? QuayTheme.mint : QuayTheme.secondary
                                    size: 16
                                }
                                ColumnLayout {
                                    spacing: 2
                                    Layout.fillWidth: true
                                    Label {
                                        objectName: "projectName"
                                        text: projectRow.project.name
                                        font.pointSize: 14 * QuayTheme.textUnit
                                        font.weight: Font.Medium
                                        elide: Text.ElideRight
                                        Layout.fillWidth: true
                                    }
                                    Label {
                                        objectName: "projectCount"
                                        text: projectRow.project.countText
                                        font.pointSize: 12 * QuayTheme.textUnit
                                        color: QuayTheme.secondary
                                    }
                                }
                            }
                        }
                    }
                }
            }

            // Project detail, or the invitation to create one
            Item {
                Layout.fillWidth: true
                Layout.fillHeight: true

                ColumnLayout {
                    anchors.fill: parent
                    visible: !view.hasProject
                    objectName: "noProject"
                    spacing: 10
                    Item { Layout.fillHeight: true }
                    QuayIcon {
                        name: "rectangle.stack.badge.plus"
                        color: QuayTheme.secondary
                        size: 42
                        Layout.alignment: Qt.AlignHCenter
                    }
                    Label {
                        text: "Make room for your ideas."
                        font.pointSize: 23 * QuayTheme.textUnit
                        font.weight: Font.Medium
                        Layout.alignment: Qt.AlignHCenter
                    }
                    Label {
                        text: "Create a project, paste your video links and choose a folder.\nYour whole collection stays together."
                        font.pointSize: 14 * QuayTheme.textUnit
                        color: QuayTheme.secondary
                        horizontalAlignment: Text.AlignHCenter
                        Layout.alignment: Qt.AlignHCenter
                    }
                    Item { Layout.fillHeight: true }
                }

                ColumnLayout {
                    anchors.fill: parent
                    visible: view.hasProject
                    objectName: "projectDetail"
                    spacing: 14

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 12
                        TextField {
                            objectName: "projectNameField"
                            Accessible.name: "Project name"
                            text: view.project.name ?? ""
                            onTextEdited: view.downloads.rename(text)
                            // A long name too wide for the field shows its beginning, not its end.
                            onTextChanged: if (!activeFocus) cursorPosition = 0
                            onActiveFocusChanged: if (!activeFocus) cursorPosition = 0
                            enabled: !view.downloads.queue.busy
                            font.pointSize: 25 * QuayTheme.textUnit
                            font.weight: Font.DemiBold
                            background: null
                            leftPadding: 0
                            Layout.fillWidth: true
                        }
                        Button {
                            objectName: "downloadAllButton"
                            text: "Download all"
                            icon.source: "image://icon/arrow.down.circle.fill"
                            icon.color: enabled ? QuayTheme.mint : palette.disabled.buttonText
                            font.pointSize: 14 * QuayTheme.textUnit
                            font.weight: Font.DemiBold
                            enabled: view.links.length > 0 && view.projectFolder !== "" && !view.downloads.tools.installing
                            onClicked: view.downloads.downloadAll()
                        }
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        spacing: 8
                        QuayIcon { name: "folder"; color: QuayTheme.secondary; size: 15 }
                        TextEdit {
                            objectName: "projectFolder"
                            text: view.projectFolder !== "" ? view.projectFolder : "Choose where this project should be saved"
                            readOnly: true
                            selectByMouse: true
                            font.pointSize: 12 * QuayTheme.textUnit
                            color: QuayTheme.secondary
                            wrapMode: TextEdit.WrapAnywhere
                            Layout.fillWidth: true
                        }
                        Button {
                            objectName: "chooseFolderButton"
                            text: "Choose folder…"
                            enabled: !view.downloads.queue.busy
                            onClicked: view.downloads.chooseFolder()
                        }
                        FlatButton {
                            objectName: "openFolderButton"
                            visible: view.projectFolder !== ""
                            symbol: "arrow.up.forward.square"
                            iconSize: 17
                            tint: QuayTheme.secondary
                            tip: "Open project folder"
                            onClicked: view.openFolder(view.projectFolder)
                        }
                    }

                    ProjectOptions {
                        objectName: "projectOptions"
                        downloads: view.downloads
                        project: view.project
                        Layout.fillWidth: true
                    }

                    Label {
                        text: "ADD VIDEO LINKS"
                        font.pointSize: 12 * QuayTheme.textUnit
                        font.weight: Font.DemiBold
                        font.letterSpacing: 1.4
                        color: QuayTheme.secondary
                    }
                    Item {
                        Layout.fillWidth: true
                        Layout.preferredHeight: 96
                        DashedOutline { anchors.fill: parent }
                        ScrollView {
                            anchors.fill: parent
                            anchors.margins: 6
                            TextArea {
                                objectName: "linkBox"
                                Accessible.name: "Video links, one per line"
                                text: view.downloads.linkText
                                onTextChanged: if (text !== view.downloads.linkText) view.downloads.linkText = text
                                font.pointSize: 13 * QuayTheme.textUnit
                                wrapMode: TextEdit.WrapAnywhere
                                background: null
                            }
                        }
                    }
                    RowLayout {
                        Layout.fillWidth: true
                        Label {
                            text: "One link per line · duplicate links are skipped"
                            font.pointSize: 12 * QuayTheme.textUnit
                            color: QuayTheme.secondary
                            Layout.fillWidth: true
                        }
                        Button {
                            objectName: "addLinksButton"
                            text: "Add to project"
                            enabled: view.downloads.canAddLinks
                            onClicked: view.downloads.addLinks()
                        }
                    }

                    RowLayout {
                        Layout.fillWidth: true
                        Label {
                            objectName: "linksCaption"
                            text: Format.count(view.links.length, "video link", "video links").toUpperCase()
                            font.pointSize: 12 * QuayTheme.textUnit
                            font.weight: Font.DemiBold
                            font.letterSpacing: 1.4
                            color: QuayTheme.secondary
                        }
                        Item { Layout.fillWidth: true }
                        Label {
                            text: view.downloads.presetTitles[view.project.preset ?? 0] ?? ""
                            font.pointSize: 12 * QuayTheme.textUnit
                            color: QuayTheme.secondary
                        }
                    }
                    Label {
                        objectName: "noLinks"
                        visible: view.links.length === 0
                        text: "Paste links above to build your B-roll collection."
                        font.pointSize: 14 * QuayTheme.textUnit
                        color: QuayTheme.secondary
                    }
                    ScrollView {
                        id: linkScroll
                        objectName: "linkList"
                        visible: view.links.length > 0
                        Layout.fillWidth: true
                        Layout.fillHeight: true
                        clip: true
                        contentWidth: availableWidth
                        ColumnLayout {
                            width: linkScroll.availableWidth
                            spacing: 8
                            Repeater {
                                model: view.downloads.links
                                delegate: DownloadLinkRow {
                                    required property string linkId
                                    objectName: "linkRow"
                                    toolsReady: view.downloads.tools.ready
                                    Layout.fillWidth: true
                                    onRemove: view.downloads.remove(linkId)
                                    onReveal: (path) => view.reveal(path)
                                }
                            }
                        }
                    }
                    Item {
                        visible: view.links.length === 0
                        Layout.fillHeight: true
                    }
                }
            }
        }

        // Tools bar
        Rectangle {
            Layout.fillWidth: true
            implicitHeight: toolsRow.implicitHeight + 24
            radius: 10
            color: QuayTheme.panel
            RowLayout {
                id: toolsRow
                anchors.fill: parent
                anchors.margins: 12
                spacing: 12
                QuayIcon {
                    objectName: "toolsIcon"
                    name: view.downloads.tools.ready ? "checkmark.circle.fill" : "shippingbox"
                    color: view.downloads.tools.ready ? QuayTheme.mint : QuayTheme.secondary
                    size: 22
                }
                ColumnLayout {
                    spacing: 2
                    Layout.fillWidth: true
                    Label {
                        objectName: "toolStatus"
                        text: view.downloads.tools.status
                        font.pointSize: 13 * QuayTheme.textUnit
                        font.weight: Font.Medium
                    }
                    Label {
                        text: "YouTube, Facebook and supported video sites. Private, restricted or DRM-protected content may be unavailable."
                        font.pointSize: 12 * QuayTheme.textUnit
                        color: QuayTheme.secondary
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                    }
                }
                BusyIndicator {
                    objectName: "installingIndicator"
                    Accessible.name: "Installing download tools"
                    visible: view.downloads.tools.installing
                    running: visible
                    Layout.preferredWidth: 22
                    Layout.preferredHeight: 22
                }
                Button {
                    objectName: "installToolsButton"
                    text: view.downloads.tools.ready ? "Update tools" : "Install download tools"
                    enabled: !view.downloads.tools.installing && !view.downloads.queue.busy
                    onClicked: view.downloads.tools.install()
                }
            }
        }

        Label {
            text: "Download content you own or have permission to use. Separate audio and video are merged without re-encoding; the highest-quality output may use MKV. Setup downloads yt-dlp, Deno and FFmpeg helpers with checksum checks."
            font.pointSize: 12 * QuayTheme.textUnit
            color: QuayTheme.secondary
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
    }

    Dialog {
        id: alert
        objectName: "downloadsAlert"
        title: "Video downloads"
        modal: true
        anchors.centerIn: Overlay.overlay
        Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, 0.45) }
        width: 460
        standardButtons: Dialog.Ok

        readonly property string message: view.downloads.message
        onMessageChanged: message !== "" ? open() : close()
        Component.onCompleted: if (message !== "") open()
        // However it is dismissed, the message is cleared.
        onClosed: view.downloads.message = ""

        Label {
            objectName: "downloadsAlertText"
            width: parent.width
            text: alert.message
            font.pointSize: 13 * QuayTheme.textUnit
            wrapMode: Text.Wrap
        }
    }
}
