// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quaymark
import Quaymark.Downloads

// How the selected project's links are downloaded: its preset, subtitles, chapters and
// SponsorBlock segments. Fixed while any of its links is queued or downloading.
ColumnLayout {
    id: options

    required property DownloadModel downloads
    // The selected project's map.
    required property var project
    readonly property bool locked: project.optionsLocked ?? false

    spacing: 8

    component Caption: Label {
        font.pointSize: 12 * QuayTheme.textUnit
        color: QuayTheme.secondary
        Layout.alignment: Qt.AlignVCenter
    }

    // The options in words, for the line under the preset.
    readonly property string summary: {
        const words = []
        const languages = project.subtitleLanguages ?? ""
        if (languages !== "")
            words.push("Subtitles " + languages + ((project.embedSubtitles ?? true) ? " in the file" : " as SRT beside it")
                       + ((project.automaticCaptions ?? false) ? ", automatic captions too" : ""))
        else
            words.push("No subtitles")
        if (project.chapters ?? false)
            words.push("chapters")
        if ((project.sponsorBlock ?? "off") === "mark")
            words.push("sponsor segments marked")
        if ((project.sponsorBlock ?? "off") === "remove")
            words.push("sponsor segments cut out")
        return words.join(" · ")
    }

    RowLayout {
        id: presetRow
        Layout.fillWidth: true
        spacing: 10
        enabled: !options.locked
        ComboBox {
            objectName: "presetBox"
            Accessible.name: "Download preset"
            model: options.downloads.presetTitles
            currentIndex: options.project.preset ?? 0
            onActivated: index => options.downloads.setOption("preset", index)
            font.pointSize: 12 * QuayTheme.textUnit
            Layout.fillWidth: true
            Layout.maximumWidth: 480 * Math.max(1, QuayTheme.textScale)
        }
        Button {
            id: more
            objectName: "moreOptionsButton"
            text: checked ? "Fewer options" : "More options"
            checkable: true
            font.pointSize: 12 * QuayTheme.textUnit
        }
        Item { Layout.fillWidth: true }
    }

    // Over the page rather than in it, so the links below keep their room on small screens.
    Popup {
        id: morePanel
        objectName: "moreOptions"
        y: presetRow.y + presetRow.height + 6
        width: options.width
        padding: 14
        visible: more.checked
        onClosed: more.checked = false
        closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutsideParent
        background: Rectangle {
            color: QuayTheme.panel
            border.color: QuayTheme.line
            radius: 10
        }

        contentItem: Flow {
            spacing: 10
            enabled: !options.locked

            Caption { text: "Subtitles"; topPadding: 8 }
            TextField {
                objectName: "subtitleField"
                Accessible.name: "Subtitle languages"
                placeholderText: "Languages, such as en.*,de"
                text: options.project.subtitleLanguages ?? ""
                onEditingFinished: if (text !== (options.project.subtitleLanguages ?? ""))
                                       options.downloads.setOption("subtitleLanguages", text)
                font.pointSize: 12 * QuayTheme.textUnit
                width: 180 * Math.max(1, QuayTheme.textScale)
            }
            QuaySwitch {
                objectName: "captionsSwitch"
                text: "Automatic captions"
                enabled: (options.project.subtitleLanguages ?? "") !== ""
                checked: options.project.automaticCaptions ?? false
                onToggled: options.downloads.setOption("automaticCaptions", checked)
                font.pointSize: 12 * QuayTheme.textUnit
            }
            QuaySwitch {
                objectName: "embedSubtitlesSwitch"
                text: "In the file (off: SRT beside it)"
                enabled: (options.project.subtitleLanguages ?? "") !== ""
                checked: options.project.embedSubtitles ?? true
                onToggled: options.downloads.setOption("embedSubtitles", checked)
                font.pointSize: 12 * QuayTheme.textUnit
            }
            QuaySwitch {
                objectName: "chaptersSwitch"
                text: "Chapters"
                checked: options.project.chapters ?? false
                onToggled: options.downloads.setOption("chapters", checked)
                font.pointSize: 12 * QuayTheme.textUnit
            }
            ComboBox {
                objectName: "sponsorBox"
                Accessible.name: "SponsorBlock segments"
                readonly property var keys: ["off", "mark", "remove"]
                model: ["SponsorBlock off", "Mark sponsor segments as chapters",
                        "Cut sponsor segments out"]
                currentIndex: Math.max(0, keys.indexOf(options.project.sponsorBlock ?? "off"))
                onActivated: index => options.downloads.setOption("sponsorBlock", keys[index])
                font.pointSize: 12 * QuayTheme.textUnit
                implicitContentWidthPolicy: ComboBox.WidestText
            }
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 10
        Caption {
            objectName: "optionsNote"
            text: options.locked ? "Options are fixed while this project's links are queued or downloading."
                                 : options.summary
            wrapMode: Text.Wrap
            Layout.fillWidth: true
        }
        Button {
            objectName: "syncButton"
            visible: (options.project.collectionCount ?? 0) > 0
            text: "Sync playlists"
            icon.source: "image://icon/arrow.clockwise"
            icon.color: enabled ? QuayTheme.text : palette.disabled.buttonText
            Accessible.description: "Add the videos that are new in this project's playlists and channels"
            onClicked: options.downloads.syncCollections()
        }
    }
}
