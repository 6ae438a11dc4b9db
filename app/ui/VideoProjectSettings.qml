// SPDX-License-Identifier: GPL-3.0-or-later
import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQuick.Layouts
import Quaymark
import Quaymark.Downloads

// Where yt-dlp takes cookies from, and how many downloads run at once. Bound straight to the
// download settings; cookies and their paths stay there.
ColumnLayout {
    id: section

    required property DownloadSettings settings

    spacing: 10

    readonly property var browsers: ["firefox", "chromium", "chrome", "brave"]
    readonly property int sourceIndex: !settings ? 0
        : settings.cookieSource === "file" ? 1
        : settings.cookieSource === "browser" ? 2 + Math.max(0, browsers.indexOf(settings.browser))
        : 0
    readonly property bool chromium: sourceIndex >= 3

    component Note: Label {
        font.pointSize: 13 * QuayTheme.textUnit
        color: QuayTheme.secondary
        wrapMode: Text.Wrap
        Layout.fillWidth: true
    }

    Label {
        text: "Video projects"
        font.pointSize: 15 * QuayTheme.textUnit
        font.weight: Font.DemiBold
    }
    RowLayout {
        spacing: 10
        Label {
            text: "Cookies"
            font.pointSize: 13 * QuayTheme.textUnit
            Layout.preferredWidth: 150 * Math.max(1, QuayTheme.textScale)
        }
        ComboBox {
            objectName: "cookieSourceBox"
            Accessible.name: "Cookies for sites that want a signed-in browser"
            model: ["No cookies", "A cookies file", "Firefox", "Chromium", "Google Chrome", "Brave"]
            currentIndex: section.sourceIndex
            onActivated: index => {
                if (index === 0) {
                    section.settings.cookieSource = "none"
                } else if (index === 1) {
                    section.settings.cookieSource = "file"
                } else {
                    section.settings.browser = section.browsers[index - 2]
                    section.settings.cookieSource = "browser"
                }
            }
            font.pointSize: 13 * QuayTheme.textUnit
            Layout.fillWidth: true
        }
    }
    RowLayout {
        visible: section.sourceIndex === 1
        spacing: 10
        TextField {
            objectName: "cookieFileField"
            Accessible.name: "Cookies file"
            placeholderText: "A cookies.txt file in Netscape format"
            text: section.settings ? section.settings.cookieFile : ""
            onEditingFinished: section.settings.cookieFile = text
            font.pointSize: 13 * QuayTheme.textUnit
            Layout.fillWidth: true
        }
        Button {
            text: "Choose…"
            Accessible.name: "Choose the cookies file"
            onClicked: cookieDialog.open()
        }
        FileDialog {
            id: cookieDialog
            title: "Choose a cookies file"
            nameFilters: ["Cookies files (*.txt)", "All files (*)"]
            onAccepted: section.settings.chooseCookieFile(selectedFile)
        }
    }
    RowLayout {
        visible: section.sourceIndex >= 2
        spacing: 10
        Label {
            text: "Profile"
            font.pointSize: 13 * QuayTheme.textUnit
            Layout.preferredWidth: 150 * Math.max(1, QuayTheme.textScale)
        }
        ComboBox {
            objectName: "profileBox"
            Accessible.name: "Browser profile"
            model: section.settings ? section.settings.profileChoices : []
            currentIndex: section.settings ? section.settings.profileIndex : 0
            onActivated: index => section.settings.profileIndex = index
            font.pointSize: 13 * QuayTheme.textUnit
            Layout.fillWidth: true
        }
    }
    RowLayout {
        visible: section.chromium
        spacing: 10
        Label {
            text: "Keyring"
            font.pointSize: 13 * QuayTheme.textUnit
            Layout.preferredWidth: 150 * Math.max(1, QuayTheme.textScale)
        }
        ComboBox {
            objectName: "keyringBox"
            Accessible.name: "Keyring that holds the browser's key"
            readonly property var keys: ["", "gnomekeyring", "kwallet", "basictext"]
            model: ["Automatic", "GNOME Keyring", "KWallet", "Basic text"]
            currentIndex: Math.max(0, keys.indexOf(section.settings ? section.settings.keyring : ""))
            onActivated: index => section.settings.keyring = keys[index]
            font.pointSize: 13 * QuayTheme.textUnit
            Layout.fillWidth: true
        }
    }
    Note {
        text: "Some sites ask to sign in before they serve a video. Cookies stay on this computer: they are read for each download and never written to the project or the diagnostics log. Browser profiles of Flatpak and Snap browsers are listed too."
    }
    RowLayout {
        spacing: 10
        Label {
            text: "Downloads at once"
            font.pointSize: 13 * QuayTheme.textUnit
            Layout.fillWidth: true
        }
        SpinBox {
            objectName: "downloadsAtOnce"
            Accessible.name: "Downloads at once"
            from: 1
            to: 4
            value: section.settings ? section.settings.downloadsAtOnce : 2
            onValueModified: section.settings.downloadsAtOnce = value
        }
    }
    Note {
        text: "Never more than one from the same site at a time, with a pause between requests, so sites do not slow or block the downloads."
    }
}
