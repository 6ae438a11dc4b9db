// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DownloadLinksModel.h"
#include "DownloadQueue.h"
#include "DownloadSettings.h"
#include "DownloadTools.h"
#include "ProjectStore.h"
#include "ToolSources.h"
#include "ToolsSetup.h"
#include "VideoProject.h"
#include "app/core/FolderPicker.h"
#include "app/platform/Volumes.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariantList>
#include <QVariantMap>
#include <QtQmlIntegration/qqmlintegration.h>

#include <optional>

namespace quaymark {

// The video projects the downloads screen observes, with the queue that downloads their links
// and the setup of the tools it needs. Lives on the main thread.
class DownloadModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The model comes from the application.")
    // Maps with "id", "name", "destination", "folder", "links", "downloadedCount" and
    // "countText"; each link a map of its fields with "id" and "speedText".
    Q_PROPERTY(QVariantList projects READ projectList NOTIFY projectsChanged)
    // The selected project's id, empty for none.
    Q_PROPERTY(QString selected READ selectedText WRITE setSelectedText NOTIFY selectedChanged)
    // The selected project as in `projects`; an empty map for none.
    Q_PROPERTY(QVariantMap project READ projectMap NOTIFY projectChanged)
    // The selected project's links, rows updated in place.
    Q_PROPERTY(quaymark::DownloadLinksModel* links READ links CONSTANT)
    // The projects as rows updated in place: maps with "id", "name", "destination",
    // "downloadedCount" and "countText".
    Q_PROPERTY(quaymark::DownloadProjectsModel* projectRows READ projectRows CONSTANT)
    Q_PROPERTY(QString message READ message WRITE setMessage NOTIFY messageChanged)
    Q_PROPERTY(QString newName READ newName WRITE setNewName NOTIFY newNameChanged)
    Q_PROPERTY(QString linkText READ linkText WRITE setLinkText NOTIFY linkTextChanged)
    // Whether the new name and the pasted text hold more than blanks.
    Q_PROPERTY(bool canCreate READ canCreate NOTIFY newNameChanged)
    Q_PROPERTY(bool canAddLinks READ canAddLinks NOTIFY linkTextChanged)
    Q_PROPERTY(quaymark::DownloadQueue* queue READ queue CONSTANT)
    Q_PROPERTY(quaymark::ToolsSetup* tools READ tools CONSTANT)
    Q_PROPERTY(quaymark::DownloadSettings* settings READ settings CONSTANT)
    // The presets' titles, in the order of their indexes.
    Q_PROPERTY(QStringList presetTitles READ presetTitles CONSTANT)
    // The preset index a new project starts with.
    Q_PROPERTY(int newPreset READ newPreset WRITE setNewPreset NOTIFY newPresetChanged)

public:
    struct Setup {
        // The application data folder unless given.
        std::optional<QString> dataFolder;
        // The standard lookup unless given.
        std::optional<DownloadTools> tools;
        FolderPicker* folderPicker = nullptr;
        platform::SystemPaths system;
        // Where installTools() fetches from and installs to.
        ToolInstallConfig installer;
        // The download settings' file; the user's preferences unless given.
        std::optional<QString> settingsFile;
    };

    explicit DownloadModel(Setup setup, QObject* parent = nullptr);
    ~DownloadModel() override;

    const QList<VideoProject>& projects() const { return projects_; }
    std::optional<QUuid> selected() const { return selected_; }
    void setSelected(std::optional<QUuid> id);
    // The selected project, if any.
    const VideoProject* project() const;

    QVariantList projectList() const;
    QString selectedText() const;
    void setSelectedText(const QString& id);
    QVariantMap projectMap() const { return projectMap_; }
    DownloadLinksModel* links() { return &links_; }
    DownloadProjectsModel* projectRows() { return &projectRows_; }

    QString message() const { return message_; }
    // An empty text clears the message.
    void setMessage(const QString& message);
    QString newName() const { return newName_; }
    void setNewName(const QString& name);
    QString linkText() const { return linkText_; }
    void setLinkText(const QString& text);
    bool canCreate() const { return !newName_.trimmed().isEmpty(); }
    bool canAddLinks() const { return !linkText_.trimmed().isEmpty(); }
    DownloadQueue* queue() { return &queue_; }
    ToolsSetup* tools() { return &tools_; }
    DownloadSettings* settings() { return &settings_; }
    QStringList presetTitles() const;
    int newPreset() const { return static_cast<int>(newPreset_); }
    void setNewPreset(int index);

    // The project's download folder as text, as stored: a download resolves its bookmark when
    // its helper starts. Empty without a destination.
    QString folderOf(const VideoProject& project) const;

    // The project with this id, if it still exists.
    VideoProject* findProject(const QUuid& id);
    // Tells the observers of a change to a project that is not saved yet.
    void publishChange();
    // Writes the whole list and tells the observers; a failure becomes the message.
    void save();

    Q_INVOKABLE void createProject();
    Q_INVOKABLE void rename(const QString& name);
    Q_INVOKABLE void chooseFolder();
    Q_INVOKABLE void addLinks();
    Q_INVOKABLE void remove(const QString& linkId);
    // Queues every link of the selected project that is neither downloaded nor queued.
    Q_INVOKABLE void downloadAll();
    // Adds the videos new since to every playlist and channel of the selected project.
    Q_INVOKABLE void syncCollections();
    // Changes one download option of the selected project while none of its links is queued
    // or downloading: "preset" (an index), "subtitleLanguages", "automaticCaptions",
    // "embedSubtitles", "chapters" or "sponsorBlock" ("off", "mark", "remove").
    Q_INVOKABLE void setOption(const QString& name, const QVariant& value);

signals:
    void projectsChanged();
    void selectedChanged();
    void projectChanged();
    void messageChanged();
    void newNameChanged();
    void linkTextChanged();
    void newPresetChanged();

private:
    // Renews the selected project's map and rows, built once per change rather than once per
    // reader, then tells the observers.
    void publishProject();

    Setup setup_;
    ProjectStore store_;
    QList<VideoProject> projects_;
    std::optional<QUuid> selected_;
    QString message_;
    QString newName_;
    QString linkText_;
    DownloadPreset newPreset_ = DownloadPreset::Original;
    QVariantMap projectMap_;
    DownloadLinksModel links_;
    DownloadProjectsModel projectRows_;

    QStringList scopes_;
    DownloadSettings settings_;
    // So that its installation is stopped and joined before anything it reports to goes.
    ToolsSetup tools_;
    // Last: before the rest of the model goes, the running helper is stopped.
    DownloadQueue queue_;
};

} // namespace quaymark
