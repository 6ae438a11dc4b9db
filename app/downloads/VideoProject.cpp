// SPDX-License-Identifier: GPL-3.0-or-later
#include "VideoProject.h"

#include "app/core/PathText.h"
#include "app/platform/Bookmarks.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <utility>

namespace quaymark {

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

QString uuidText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

QString textAt(const json& object, const char* key) {
    return QString::fromStdString(object.at(key).get<std::string>());
}

std::optional<QString> optionalTextAt(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end()) {
        return std::nullopt;
    }
    return QString::fromStdString(found->get<std::string>());
}

QUuid uuidAt(const json& object, const char* key) {
    const QUuid id = QUuid::fromString(textAt(object, key));
    if (id.isNull()) {
        throw std::invalid_argument(std::string("Invalid UUID under ") + key);
    }
    return id;
}

// The words the projects file stores, compared exactly.
constexpr std::array<std::pair<LinkState, const char*>, 8> storedStates{{
    {LinkState::Ready, "Ready"},
    {LinkState::Queued, "Queued"},
    {LinkState::Downloading, "Downloading"},
    {LinkState::Merging, "Merging"},
    {LinkState::Converting, "Converting"},
    {LinkState::Downloaded, "Downloaded"},
    {LinkState::Paused, "Paused"},
    {LinkState::Failed, "Failed"},
}};

std::string storedState(const VideoLink& link) {
    for (const auto& [state, word] : storedStates) {
        if (state == link.state) {
            return word;
        }
    }
    return utf8(link.unknownState);
}

void readState(const json& entry, VideoLink& link) {
    const std::string& word = entry.at("state").get_ref<const std::string&>();
    for (const auto& [state, known] : storedStates) {
        if (word == known) {
            link.state = state;
            return;
        }
    }
    link.state = LinkState::Unknown;
    link.unknownState = QString::fromStdString(word);
}

ordered_json encodeOptions(const DownloadOptions& options) {
    return ordered_json{
        {"preset", utf8(presetKey(options.preset))},
        {"subtitleLanguages", utf8(options.subtitleLanguages)},
        {"automaticCaptions", options.automaticCaptions},
        {"embedSubtitles", options.embedSubtitles},
        {"chapters", options.chapters},
        {"sponsorBlock", utf8(sponsorKey(options.sponsorBlock))},
    };
}

// A preset or segment word of a later version reads as the default rather than losing the file.
DownloadOptions decodeOptions(const json& object) {
    DownloadOptions options;
    options.preset = presetFromKey(textAt(object, "preset")).value_or(DownloadPreset::Original);
    options.subtitleLanguages = textAt(object, "subtitleLanguages");
    options.automaticCaptions = object.at("automaticCaptions").get<bool>();
    options.embedSubtitles = object.at("embedSubtitles").get<bool>();
    options.chapters = object.at("chapters").get<bool>();
    options.sponsorBlock =
        sponsorFromKey(textAt(object, "sponsorBlock")).value_or(SponsorSegments::Off);
    return options;
}

ordered_json encodeCollection(const VideoCollection& collection) {
    ordered_json ids = ordered_json::array();
    for (const QString& id : collection.ids) {
        ids.push_back(utf8(id));
    }
    return ordered_json{
        {"url", utf8(collection.url)}, {"title", utf8(collection.title)}, {"ids", ids}};
}

VideoCollection decodeCollection(const json& object) {
    VideoCollection collection{textAt(object, "url"), textAt(object, "title"), {}};
    for (const auto& id : object.at("ids").get_ref<const json::array_t&>()) {
        collection.ids.append(QString::fromStdString(id.get<std::string>()));
    }
    return collection;
}

} // namespace

VideoProject* findProject(QList<VideoProject>& projects, const QUuid& id) {
    const auto found = std::find_if(projects.begin(), projects.end(),
                                    [&](const VideoProject& project) { return project.id == id; });
    return found == projects.end() ? nullptr : &*found;
}

QString stateText(const VideoLink& link) {
    return QString::fromStdString(storedState(link));
}

QString shownState(const VideoLink& link) {
    if (link.state == LinkState::Converting) {
        return u"Converting " + QString::number(qRound(link.fraction * 100)) + u" %";
    }
    return stateText(link);
}

QString VideoProject::derivedDirectoryName() const {
    QString base = name;
    base.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char(':'), QLatin1Char('_'));
    base = base.trimmed();
    base = base.isEmpty() ? QStringLiteral("B-roll") : base.left(100);
    return base + u'_' + uuidText(id).left(8);
}

std::optional<QString> VideoProject::folder(const platform::SystemPaths& system) const {
    if (!destination) {
        return std::nullopt;
    }
    QString base = destination->path;
    if (destination->bookmark) {
        if (const auto resolved =
                platform::resolveBookmark(destination->bookmark->toStdString(), system)) {
            base = textOf(*resolved);
        }
    }
    return folderIn(base);
}

QString VideoProject::folderIn(const QString& base) const {
    return base + u'/' + directoryName.value_or(derivedDirectoryName());
}

ordered_json encodeProjects(const QList<VideoProject>& projects) {
    ordered_json array = ordered_json::array();
    for (const auto& project : projects) {
        ordered_json object;
        object["id"] = utf8(uuidText(project.id));
        object["name"] = utf8(project.name);
        if (project.destination) {
            ordered_json location;
            location["path"] = utf8(project.destination->path);
            if (project.destination->bookmark) {
                location["bookmark"] = project.destination->bookmark->toBase64().toStdString();
            }
            object["destination"] = location;
        }
        if (project.directoryName) {
            object["directoryName"] = utf8(*project.directoryName);
        }
        ordered_json links = ordered_json::array();
        for (const auto& link : project.links) {
            ordered_json entry;
            entry["id"] = utf8(uuidText(link.id));
            entry["url"] = utf8(link.url);
            entry["title"] = utf8(link.title);
            entry["state"] = storedState(link);
            entry["fraction"] = link.fraction;
            entry["speed"] = link.speed;
            if (link.output) {
                entry["output"] = utf8(*link.output);
            }
            if (link.error) {
                entry["error"] = utf8(*link.error);
            }
            if (link.videoId) {
                entry["videoId"] = utf8(*link.videoId);
            }
            if (link.intermediate) {
                entry["intermediate"] = utf8(*link.intermediate);
            }
            links.push_back(entry);
        }
        object["links"] = links;
        // Left out at their defaults, so files stay as earlier versions wrote them.
        if (project.options != DownloadOptions{}) {
            object["options"] = encodeOptions(project.options);
        }
        if (!project.collections.isEmpty()) {
            ordered_json collections = ordered_json::array();
            for (const auto& collection : project.collections) {
                collections.push_back(encodeCollection(collection));
            }
            object["collections"] = collections;
        }
        array.push_back(object);
    }
    return array;
}

QList<VideoProject> decodeProjects(const json& array) {
    QList<VideoProject> projects;
    for (const auto& object : array.get_ref<const json::array_t&>()) {
        VideoProject project;
        project.id = uuidAt(object, "id");
        project.name = textAt(object, "name");
        if (const auto found = object.find("destination"); found != object.end()) {
            SavedLocation location{textAt(*found, "path"), std::nullopt};
            if (const auto bookmark = optionalTextAt(*found, "bookmark")) {
                location.bookmark = QByteArray::fromBase64(bookmark->toLatin1());
            }
            project.destination = location;
        }
        project.directoryName = optionalTextAt(object, "directoryName");
        for (const auto& entry : object.at("links").get_ref<const json::array_t&>()) {
            VideoLink link;
            link.id = uuidAt(entry, "id");
            link.url = textAt(entry, "url");
            link.title = textAt(entry, "title");
            readState(entry, link);
            link.fraction = entry.at("fraction").get<double>();
            link.speed = entry.at("speed").get<double>();
            link.output = optionalTextAt(entry, "output");
            link.error = optionalTextAt(entry, "error");
            link.videoId = optionalTextAt(entry, "videoId");
            link.intermediate = optionalTextAt(entry, "intermediate");
            project.links.append(link);
        }
        // Files of earlier versions have neither: their projects download as they always did.
        if (const auto found = object.find("options"); found != object.end()) {
            project.options = decodeOptions(*found);
        }
        if (const auto found = object.find("collections"); found != object.end()) {
            for (const auto& collection : found->get_ref<const json::array_t&>()) {
                project.collections.append(decodeCollection(collection));
            }
        }
        projects.append(project);
    }
    return projects;
}

} // namespace quaymark
