// SPDX-License-Identifier: GPL-3.0-or-later
// One link's run on the helper's thread: from the project folder to the downloads receipt.
#include "LinkJob.h"

#include "DownloadError.h"
#include "app/core/PathText.h"
#include "app/platform/Bookmarks.h"
#include "ingest/copy/FileDigest.h"
#include "ingest/engine/DownloadsReceipt.h"
#include "ingest/records/IsoDate.h"
#include "ingest/records/QuayError.h"

#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <system_error>

namespace quaymark {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Large enough for the listing of a channel with many thousand videos on one line.
constexpr std::size_t listingLimit = 256 * 1024 * 1024;

const std::string destinationUnavailable = "The destination drive or folder is unavailable.";
const std::string unconfirmedOutput =
    "The helper exited without a confirmed output file. Retry to resume any partial download.";

// The chosen folder as it is today: a drive mounted elsewhere is followed. A volume that was
// unplugged often leaves its empty mount point behind; downloading there would fill the system
// disk instead of the drive the user chose.
fs::path destinationToday(const SavedLocation& destination, const platform::SystemPaths& system) {
    const DownloadError unavailable(downloadErrorDomain, 1, destinationUnavailable);
    fs::path base = pathOf(destination.path);
    if (destination.bookmark) {
        const std::string bookmark = destination.bookmark->toStdString();
        if (const auto resolved = platform::resolveBookmark(bookmark, system)) {
            base = *resolved;
        } else if (platform::namesVolume(bookmark)) {
            throw unavailable;
        }
    }
    std::error_code error;
    if (!fs::is_directory(base, error)) {
        throw unavailable;
    }
    return base;
}

// A copy of the chosen cookies file that only this run reads and writes: yt-dlp saves the jar
// back when it ends, and two runs at once must not write the user's file over each other.
class PrivateCookies {
public:
    explicit PrivateCookies(const QString& chosen) {
        const DownloadError unreadable(downloadErrorDomain, 3,
                                       "The cookies file chosen in Settings → Video projects "
                                       "cannot be read.");
        std::ifstream in(pathOf(chosen), std::ios::binary);
        std::string pattern = (fs::temp_directory_path() / "quaymark-cookies-XXXXXX").string();
        const int descriptor = in ? ::mkostemp(pattern.data(), O_CLOEXEC) : -1;
        if (descriptor < 0) {
            throw unreadable;
        }
        ::close(descriptor);
        path_ = pattern;
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        // An empty file copies nothing, which is no failure; a full disk is one.
        if (in.peek() != std::ifstream::traits_type::eof()) {
            out << in.rdbuf();
        }
        out.close();
        if (!out || in.bad()) {
            // The destructor does not run for a constructor that throws.
            std::error_code ignored;
            fs::remove(path_, ignored);
            throw unreadable;
        }
    }
    ~PrivateCookies() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    PrivateCookies(const PrivateCookies&) = delete;
    PrivateCookies& operator=(const PrivateCookies&) = delete;
    QString path() const { return textOf(path_); }

private:
    fs::path path_;
};

// The version a tool prints first, asked once per tool file. A pause stops the asking too.
std::string toolVersion(const QString& tool, const char* option, ProcessControl& control) {
    static std::mutex lock; // guards known
    static std::map<std::string, std::string> known;
    const std::string key = tool.toStdString() + ' ' + option;
    {
        const std::lock_guard guard(lock);
        if (const auto found = known.find(key); found != known.end()) {
            return found->second;
        }
    }
    std::string first;
    try {
        DownloadProcess::run(tool.toStdString(), {option}, control, [&](const std::string& line) {
            if (first.empty()) {
                first = line;
            }
        });
    } catch (const DownloadCancelled&) {
        throw;
    } catch (const std::exception&) {
        return {}; // said as unknown in the receipt rather than failing the download
    }
    // "ffmpeg version 5.1.8-0+deb12u1 Copyright …" gives "5.1.8-0+deb12u1".
    if (const auto at = first.find(" version "); at != std::string::npos) {
        first = first.substr(at + 9);
        first = first.substr(0, first.find(' '));
    }
    const std::lock_guard guard(lock);
    known[key] = first;
    return first;
}

QString textAt(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string()
               ? QString::fromStdString(found->get<std::string>())
               : QString();
}

std::string uploadDate(const QString& compact) {
    if (compact.size() != 8) {
        return compact.toStdString();
    }
    return QString(compact.left(4) + u'-' + compact.mid(4, 2) + u'-' + compact.mid(6))
        .toStdString();
}

// What the download's lines said about the file, gathered on the helper's thread.
struct Reported {
    std::optional<QString> file;
    QString title;
    json meta = json::object();
};

} // namespace

std::optional<QString> taggedValue(const QString& line, QStringView tag) {
    const qsizetype at = line.indexOf(tag);
    if (at < 0) {
        return std::nullopt;
    }
    return line.mid(at + tag.size());
}

std::optional<QString> taggedString(const QString& line, QStringView tag) {
    const auto text = taggedValue(line, tag);
    if (!text) {
        return std::nullopt;
    }
    const json value = json::parse(text->toStdString(), nullptr, false);
    if (!value.is_string()) {
        return std::nullopt;
    }
    return QString::fromStdString(value.get<std::string>());
}

std::optional<PlaylistListing> playlistFrom(const QByteArray& bytes) {
    const json value = json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (!value.is_object()) {
        throw DownloadError(downloadErrorDomain, 4, "The helper listed the link unreadably.");
    }
    const QString type = textAt(value, "_type");
    if (type != u"playlist" && type != u"multi_video") {
        return std::nullopt;
    }
    PlaylistListing listing{textAt(value, "title"), {}};
    const auto entries = value.find("entries");
    if (entries == value.end() || !entries->is_array()) {
        return listing;
    }
    for (const json& entry : *entries) {
        if (!entry.is_object()) {
            continue; // a video the site no longer offers
        }
        const auto web = [](const QString& text) {
            return text.startsWith(u"http://") || text.startsWith(u"https://");
        };
        QString url = textAt(entry, "url");
        if (!web(url)) {
            url = textAt(entry, "webpage_url");
        }
        if (!web(url)) {
            continue; // only web addresses become links, as a pasted one must be
        }
        const QString title = textAt(entry, "title");
        const QString id = textAt(entry, "id");
        // A channel's tabs and a playlist's sub-lists come as entries too.
        const QString kind = textAt(entry, "ie_key") + textAt(entry, "_type");
        const bool single = !id.isEmpty() && !kind.contains(u"Tab") &&
                            !kind.contains(u"playlist", Qt::CaseInsensitive) &&
                            !kind.contains(u"Channel");
        listing.entries.append(
            {url, title.isEmpty() ? url : title, id.isEmpty() ? url : id, single});
    }
    return listing;
}

namespace {

void listOrIdentify(const LinkJob& job, const DownloadCommand::Tools& tools,
                    const CookieChoice& cookies, ProcessControl& control, LinkResult& result) {
    std::string listing;
    DownloadProcess::run(
        job.ytdlp.toStdString(),
        DownloadRunner::utf8(DownloadCommand::probe(tools, job.link.url, cookies)), control,
        [&](const std::string& line) {
            if (line.starts_with('{')) {
                listing = line;
            }
        },
        listingLimit);
    const QByteArray bytes = QByteArray::fromStdString(listing);
    result.playlist = playlistFrom(bytes);
    if (!result.playlist) {
        const QString id = textAt(json::parse(bytes.begin(), bytes.end()), "id");
        result.videoId = id.isEmpty() ? job.link.url : id;
    }
}

// The edit-ready intermediate beside `input`, written under a temporary name first so that a
// cut-short conversion never looks finished.
QString convert(const LinkJob& job, const QString& input, ProcessControl& control,
                const DownloadRunner::LineSink& forward) {
    const DownloadPreset preset = job.project.options.preset;
    forward(convertingTag + QStringLiteral("0"));
    double seconds = 0;
    DownloadProcess::run(job.ffprobe.toStdString(),
                         {"-v", "error", "-show_entries", "format=duration", "-of",
                          "default=noprint_wrappers=1:nokey=1", input.toStdString()},
                         control, [&](const std::string& line) {
                             seconds = std::max(seconds, std::atof(line.c_str()));
                         });
    const QFileInfo source(input);
    const QString output = source.absolutePath() + u'/' + source.completeBaseName() + u" (" +
                           intermediateName(preset) + u").mov";
    const QString partial = output + u".part";
    int shown = 0;
    DownloadProcess::run(job.ffmpeg.toStdString(),
                         DownloadRunner::utf8(DownloadCommand::convert(preset, input, partial)),
                         control, [&](const std::string& line) {
                             if (!line.starts_with("out_time_us=") || seconds <= 0) {
                                 return;
                             }
                             const double done = std::atof(line.c_str() + 12) / 1e6 / seconds;
                             const int percent = std::clamp(static_cast<int>(done * 100), 0, 100);
                             if (percent != shown) {
                                 shown = percent;
                                 forward(convertingTag + QString::number(percent / 100.0));
                             }
                         });
    fs::rename(pathOf(partial), pathOf(output));
    return output;
}

ImportEngine::DownloadedFile proofOf(const QString& path, const LinkJob& job,
                                     const Reported& reported, ProcessControl& control) {
    const CancellationFlag never;
    std::string sha256;
    try {
        sha256 = ImportEngine::digest(pathOf(path), never, [&](size_t) {
            if (control.stopped()) {
                throw DownloadCancelled();
            }
        });
    } catch (const std::exception&) {
        if (control.stopped()) {
            throw DownloadCancelled();
        }
        throw;
    }
    const auto text = [&](const char* key) { return textAt(reported.meta, key).toStdString(); };
    return ImportEngine::DownloadedFile{
        QFileInfo(path).fileName().toStdString(),
        job.link.url.toStdString(),
        reported.title.toStdString(),
        text("uploader"),
        uploadDate(textAt(reported.meta, "upload_date")),
        text("extractor_key"),
        text("id"),
        presetKey(job.project.options.preset).toStdString(),
        toolVersion(job.ytdlp, "--version", control),
        toolVersion(job.ffmpeg, "-version", control),
        formatIsoDate(Clock::now()),
        static_cast<std::int64_t>(fs::file_size(pathOf(path))),
        sha256,
    };
}

} // namespace

QString LinkJob::run(ProcessControl& control, const DownloadRunner::LineSink& forward,
                     LinkResult& result) const {
    const QString folder = project.folderIn(textOf(destinationToday(*project.destination, system)));
    std::error_code error;
    fs::create_directories(pathOf(folder), error);
    if (error) {
        throw DownloadError(downloadErrorDomain, error.value(), error.message());
    }
    const DownloadCommand::Tools tools{QFileInfo(ffmpeg).absolutePath(), deno};
    std::optional<PrivateCookies> privateCookies;
    if (cookies.kind == CookieChoice::Kind::File) {
        privateCookies.emplace(cookies.file);
    }
    // The run reads the private copy, never the chosen file.
    CookieChoice runCookies = cookies;
    runCookies.file = privateCookies ? privateCookies->path() : QString();
    if (!link.videoId) {
        listOrIdentify(*this, tools, runCookies, control, result);
        if (result.playlist) {
            return {};
        }
    }
    Reported reported;
    const std::string transcript = DownloadProcess::run(
        ytdlp.toStdString(),
        DownloadRunner::utf8(
            DownloadCommand::download(tools, folder, link.url, project.options, runCookies)),
        control, [&](const std::string& text) {
            const QString line = QString::fromStdString(text);
            if (auto file = taggedString(line, fileTag)) {
                reported.file = std::move(file);
            } else if (auto title = taggedString(line, titleTag)) {
                reported.title = std::move(*title);
            } else if (const auto meta = taggedValue(line, metaTag)) {
                const json parsed = json::parse(meta->toStdString(), nullptr, false);
                reported.meta = parsed.is_object() ? parsed : reported.meta;
            }
            forward(line);
        });
    if (!reported.file || !QFileInfo(*reported.file).isFile()) {
        throw DownloadError({}, 0, unconfirmedOutput);
    }
    std::vector<ImportEngine::DownloadedFile> proof{
        proofOf(*reported.file, *this, reported, control)};
    if (!intermediateName(project.options.preset).isEmpty()) {
        result.intermediate = convert(*this, *reported.file, control, forward);
        proof.push_back(proofOf(*result.intermediate, *this, reported, control));
    }
    ImportEngine::recordDownloads(pathOf(folder), proof);
    return QString::fromStdString(transcript);
}

} // namespace quaymark
