// SPDX-License-Identifier: GPL-3.0-or-later
#include "DownloadModel.h"

#include "app/core/AppDiagnostics.h"
#include "app/core/Background.h"
#include "app/core/PathText.h"
#include "app/platform/Bookmarks.h"

#include <QPointer>
#include <QRegularExpression>
#include <QUrl>

namespace quaymark {

namespace {

QString idText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// The speed a link row shows: only while the helper downloads, and a dash before the first
// measurement.
QString speedText(const VideoLink& link) {
    if (link.state != LinkState::Downloading) {
        return {};
    }
    if (link.speed <= 0) {
        return QStringLiteral("— MB/s");
    }
    return QString::number(link.speed / 1'000'000, 'f', 1) + u" MB/s";
}

QVariantMap linkMap(const VideoLink& link) {
    return {
        {QStringLiteral("id"), idText(link.id)},
        {QStringLiteral("url"), link.url},
        {QStringLiteral("title"), link.title},
        // A number, as the screens compare it with LinkState's values.
        {QStringLiteral("state"), static_cast<int>(link.state)},
        {QStringLiteral("stateText"), shownState(link)},
        {QStringLiteral("fraction"), link.fraction},
        {QStringLiteral("speed"), link.speed},
        {QStringLiteral("speedText"), speedText(link)},
        {QStringLiteral("output"), link.output.value_or(QString())},
        {QStringLiteral("error"), link.error.value_or(QString())},
        {QStringLiteral("intermediate"), link.intermediate.value_or(QString())},
    };
}

// A project's row in the list: nothing that changes with a progress line.
QVariantMap projectRow(const VideoProject& project) {
    const auto downloaded =
        std::count_if(project.links.cbegin(), project.links.cend(),
                      [](const VideoLink& link) { return link.state == LinkState::Downloaded; });
    return {
        {QStringLiteral("id"), idText(project.id)},
        {QStringLiteral("name"), project.name},
        {QStringLiteral("destination"),
         project.destination ? project.destination->path : QString()},
        {QStringLiteral("downloadedCount"), static_cast<qsizetype>(downloaded)},
        {QStringLiteral("countText"),
         QStringLiteral("%1/%2 downloaded").arg(downloaded).arg(project.links.size())},
    };
}

QVariantMap projectSummary(const VideoProject& project) {
    QVariantMap summary = projectRow(project);
    QVariantList links;
    for (const auto& link : project.links) {
        links.append(linkMap(link));
    }
    summary.insert(QStringLiteral("links"), links);
    const DownloadOptions& options = project.options;
    summary.insert(QStringLiteral("preset"), static_cast<int>(options.preset));
    summary.insert(QStringLiteral("subtitleLanguages"), options.subtitleLanguages);
    summary.insert(QStringLiteral("automaticCaptions"), options.automaticCaptions);
    summary.insert(QStringLiteral("embedSubtitles"), options.embedSubtitles);
    summary.insert(QStringLiteral("chapters"), options.chapters);
    summary.insert(QStringLiteral("sponsorBlock"), sponsorKey(options.sponsorBlock));
    summary.insert(QStringLiteral("collectionCount"), project.collections.size());
    return summary;
}

// Every line-break character a pasted text may carry, a CR/LF pair giving one empty piece.
const QRegularExpression
    lineBreaks(QStringLiteral("[\\n\\r\\x{000B}\\x{000C}\\x{0085}\\x{2028}\\x{2029}]"));

bool acceptable(const QString& candidate) {
    const QUrl url(candidate, QUrl::StrictMode);
    if (!url.isValid()) {
        return false;
    }
    const QString scheme = url.scheme().toLower();
    return (scheme == u"http" || scheme == u"https") && !url.host().isEmpty() &&
           url.userName().isEmpty() && url.password().isEmpty();
}

} // namespace

DownloadModel::DownloadModel(Setup setup, QObject* parent)
    : QObject(parent)
    , setup_(std::move(setup))
    , store_(setup_.dataFolder.value_or(AppDiagnostics::directory()))
    , settings_(setup_.settingsFile)
    , tools_(setup_.tools ? *setup_.tools : DownloadTools::standard(), setup_.installer,
             [this] { return queue_.busy(); })
    , queue_(projects_, tools_, setup_.system, [this] {
        return DownloadQueue::Preferences{settings_.downloadsAtOnce(), settings_.cookies()};
    }) {
    connect(&queue_, &DownloadQueue::notice, this, &DownloadModel::setMessage);
    connect(&queue_, &DownloadQueue::linksChanged, this, &DownloadModel::publishChange);
    connect(&queue_, &DownloadQueue::saveWanted, this, &DownloadModel::save);
    ProjectStore::Loaded loaded = store_.load();
    projects_ = std::move(loaded.projects);
    message_ = loaded.message.value_or(QString());
    if (!projects_.isEmpty()) {
        selected_ = projects_.first().id;
    }
    publishProject();
    connect(&tools_, &ToolsSetup::failed, this, &DownloadModel::setMessage);
}

DownloadModel::~DownloadModel() = default;

void DownloadModel::setSelected(std::optional<QUuid> id) {
    if (selected_ == id) {
        return;
    }
    selected_ = id;
    emit selectedChanged();
    publishProject();
}

const VideoProject* DownloadModel::project() const {
    for (const auto& candidate : projects_) {
        if (selected_ && candidate.id == *selected_) {
            return &candidate;
        }
    }
    return nullptr;
}

QVariantList DownloadModel::projectList() const {
    QVariantList list;
    for (const auto& project : projects_) {
        list.append(projectSummary(project));
    }
    return list;
}

QString DownloadModel::selectedText() const {
    return selected_ ? idText(*selected_) : QString();
}

void DownloadModel::setSelectedText(const QString& id) {
    const QUuid uuid = QUuid::fromString(id);
    setSelected(uuid.isNull() ? std::nullopt : std::optional(uuid));
}

void DownloadModel::publishProject() {
    const VideoProject* selected = project();
    projectMap_.clear();
    if (selected) {
        projectMap_ = projectSummary(*selected);
        projectMap_.insert(QStringLiteral("folder"), folderOf(*selected));
        projectMap_.insert(QStringLiteral("optionsLocked"), queue_.involves(selected->id));
    }
    links_.set(projectMap_.value(QStringLiteral("links")).toList());
    QVariantList rows;
    for (const auto& each : projects_) {
        rows.append(projectRow(each));
    }
    projectRows_.set(rows);
    emit projectChanged();
}

QString DownloadModel::folderOf(const VideoProject& project) const {
    return project.destination ? project.folderIn(project.destination->path) : QString();
}

void DownloadModel::setMessage(const QString& message) {
    if (message_ != message) {
        message_ = message;
        emit messageChanged();
    }
}

void DownloadModel::setNewName(const QString& name) {
    if (newName_ != name) {
        newName_ = name;
        emit newNameChanged();
    }
}

void DownloadModel::setLinkText(const QString& text) {
    if (linkText_ != text) {
        linkText_ = text;
        emit linkTextChanged();
    }
}

VideoProject* DownloadModel::findProject(const QUuid& id) {
    return quaymark::findProject(projects_, id);
}

void DownloadModel::publishChange() {
    emit projectsChanged();
    publishProject();
}

void DownloadModel::downloadAll() {
    // Without a selection the queue finds no project and says what is missing.
    queue_.downloadAll(selected_.value_or(QUuid()));
}

void DownloadModel::syncCollections() {
    if (selected_) {
        queue_.syncCollections(*selected_);
    }
}

QStringList DownloadModel::presetTitles() const {
    QStringList titles;
    for (int index = 0; index < presetCount; ++index) {
        titles.append(presetTitle(presetAt(index)));
    }
    return titles;
}

void DownloadModel::setNewPreset(int index) {
    const DownloadPreset preset = presetAt(index);
    if (newPreset_ != preset) {
        newPreset_ = preset;
        emit newPresetChanged();
    }
}

void DownloadModel::setOption(const QString& name, const QVariant& value) {
    VideoProject* selected = selected_ ? findProject(*selected_) : nullptr;
    if (!selected) {
        return;
    }
    if (queue_.involves(selected->id)) {
        setMessage(QStringLiteral("The download options cannot change while the project's "
                                  "links are queued or downloading. Pause them first."));
        publishProject(); // the controls return to what holds
        return;
    }
    DownloadOptions& options = selected->options;
    if (name == u"preset") {
        options.preset = presetAt(value.toInt());
    } else if (name == u"subtitleLanguages") {
        options.subtitleLanguages = value.toString().trimmed();
    } else if (name == u"automaticCaptions") {
        options.automaticCaptions = value.toBool();
    } else if (name == u"embedSubtitles") {
        options.embedSubtitles = value.toBool();
    } else if (name == u"chapters") {
        options.chapters = value.toBool();
    } else if (name == u"sponsorBlock") {
        options.sponsorBlock = sponsorFromKey(value.toString()).value_or(SponsorSegments::Off);
    } else {
        return;
    }
    save();
}

void DownloadModel::save() {
    emit projectsChanged();
    publishProject();
    if (const auto failure = store_.save(projects_)) {
        setMessage(*failure);
    }
}

void DownloadModel::createProject() {
    const QString name = newName_.trimmed();
    if (name.isEmpty()) {
        return;
    }
    VideoProject project;
    project.name = name;
    project.options.preset = newPreset_;
    projects_.prepend(project);
    setSelected(project.id);
    setNewName(QString());
    save();
}

void DownloadModel::rename(const QString& name) {
    VideoProject* selected = selected_ ? findProject(*selected_) : nullptr;
    if (!selected || queue_.busy() || selected->name == name) {
        return;
    }
    selected->name = name;
    save();
}

void DownloadModel::chooseFolder() {
    if (!selected_ || !setup_.folderPicker) {
        return;
    }
    const VideoProject* current = findProject(*selected_);
    setup_.folderPicker->pickFolder(
        QStringLiteral("Choose a folder for this video project"),
        QStringLiteral("Save project here"),
        current && current->destination ? current->destination->path : QString(),
        [model = QPointer(this), id = *selected_](std::optional<QString> folder) {
            VideoProject* project = model && folder ? model->findProject(id) : nullptr;
            if (!project) {
                return;
            }
            if (platform::startAccessingSecurityScope(pathOf(*folder)) &&
                !model->scopes_.contains(*folder)) {
                model->scopes_.append(*folder);
            }
            project->destination = SavedLocation{*folder, std::nullopt};
            if (!project->directoryName) {
                project->directoryName = project->derivedDirectoryName();
            }
            model->save();
            // The bookmark reads the folder's volume: on a worker, as a stalled drive must not
            // hold the window.
            runInBackground(
                model.data(),
                [folder = *folder, system = model->setup_.system] {
                    return platform::createBookmark(pathOf(folder), system);
                },
                [id, folder = *folder](DownloadModel& owner, std::optional<std::string> bookmark) {
                    VideoProject* chosen = owner.findProject(id);
                    if (!bookmark || !chosen || !chosen->destination ||
                        chosen->destination->path != folder || chosen->destination->bookmark) {
                        return; // kept by its path alone, or chosen again meanwhile
                    }
                    chosen->destination->bookmark = QByteArray::fromStdString(*bookmark);
                    owner.save();
                });
        });
}

void DownloadModel::addLinks() {
    VideoProject* selected = selected_ ? findProject(*selected_) : nullptr;
    if (!selected) {
        return;
    }
    int invalid = 0;
    for (const QString& piece : linkText_.split(lineBreaks)) {
        const QString candidate = piece.trimmed();
        if (candidate.isEmpty()) {
            continue;
        }
        if (!acceptable(candidate)) {
            ++invalid;
            continue;
        }
        const bool known =
            std::any_of(selected->links.cbegin(), selected->links.cend(),
                        [&](const VideoLink& link) { return link.url == candidate; });
        if (!known) {
            VideoLink link;
            link.url = candidate;
            selected->links.append(link);
        }
    }
    setLinkText(QString());
    save();
    if (invalid > 0) {
        setMessage(QString::number(invalid) +
                   (invalid == 1 ? u" invalid link skipped." : u" invalid links skipped.") +
                   u" Paste one HTTP or HTTPS video link per line.");
    }
}

void DownloadModel::remove(const QString& linkId) {
    VideoProject* selected = selected_ ? findProject(*selected_) : nullptr;
    const QUuid id = QUuid::fromString(linkId);
    if (!selected || !queue_.release(id)) {
        return;
    }
    selected->links.removeIf([&](const VideoLink& link) { return link.id == id; });
    save();
}

} // namespace quaymark
