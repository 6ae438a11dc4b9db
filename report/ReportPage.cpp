// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportPage.h"

#include "ingest/records/Version.h"

#include <QBuffer>
#include <QDateTime>
#include <QImageReader>
#include <QLocale>
#include <QStringList>

#include <cmath>
#include <map>

namespace quaymark::report {

namespace {

// px: a browser's page, and the PDF's narrower landscape table
constexpr int previewWidth = 120;
constexpr int printedPreviewWidth = 96;

int previewWidthIn(PreviewImages images) {
    return images == PreviewImages::inlined ? previewWidth : printedPreviewWidth;
}

QString text(const std::string& value) {
    return QString::fromStdString(value).toHtmlEscaped();
}

QString localTime(const std::optional<Timestamp>& when) {
    if (!when) {
        return {};
    }
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when->time_since_epoch());
    return QDateTime::fromMSecsSinceEpoch(ms.count())
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString bytesText(std::int64_t bytes) {
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString durationText(double seconds) {
    const auto whole = static_cast<long long>(std::llround(seconds));
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

// The columns from `firstWhole` to `lastWhole` keep to one line: timecodes, sizes and hashes
// read badly when broken.
QString row(const QStringList& cells, const QString& tag = QStringLiteral("td"),
            qsizetype firstWhole = -1, qsizetype lastWhole = -1) {
    QString line = QStringLiteral("<tr>");
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const bool whole = i >= firstWhole && i <= lastWhole && firstWhole >= 0;
        line += u'<' + tag + (whole ? QStringLiteral(" class=\"whole\">") : QStringLiteral(">")) +
                cells[i] + u"</" + tag + u'>';
    }
    return line + QStringLiteral("</tr>\n");
}

// A table and its head, which the PDF repeats on every page the table spans.
QString tableHead(QStringView kind, const QStringList& header, qsizetype firstWhole = -1,
                  qsizetype lastWhole = -1) {
    const QString head = QStringLiteral("<thead>") +
                         row(header, QStringLiteral("th"), firstWhole, lastWhole) +
                         QStringLiteral("</thead>");
    return u"<table class=\"" + kind + u"\" cellspacing=\"0\" cellpadding=\"2\">\n" + head;
}

QString facts(const QList<QPair<QString, QString>>& pairs) {
    QString table = QStringLiteral("<table class=\"facts\" cellspacing=\"0\" cellpadding=\"2\">\n");
    for (const auto& [name, value] : pairs) {
        if (!value.isEmpty()) {
            table += u"<tr><th>" + name + u"</th><td>" + value + u"</td></tr>\n";
        }
    }
    return table + QStringLiteral("</table>\n");
}

const char* const style = R"(<style>
body { font-family: "DejaVu Sans", sans-serif; font-size: %1pt; color: #1a1a1a; margin: 12px; }
h1 { font-size: 16pt; margin: 0 0 4pt 0; }
h2 { font-size: 12pt; margin: 14pt 0 4pt 0; }
h3 { font-size: 10pt; margin: 8pt 0 2pt 0; }
table { border-collapse: collapse; margin-bottom: 6pt; }
th, td { text-align: left; vertical-align: top; }
table.clips th, table.clips td, table.list th, table.list td { border: 1px solid #bbbbbb; }
table.clips th, table.list th { background-color: #eeeeee; }
table.facts th { color: #555555; font-weight: normal; padding: 1pt 12pt 1pt 0; }
.whole { white-space: nowrap; }
.hash { font-family: "DejaVu Sans Mono", monospace; }
.nopreview { color: #666666; background-color: #f0f0f0; width: 120px; font-size: 7pt; }
.safe { font-weight: bold; }
.footer { color: #666666; margin-top: 10pt; font-size: 7pt; }
</style>
)";

QString headingPart(const ReportHeading& heading, ReportKind kind) {
    QString page = kind == ReportKind::day ? QStringLiteral("<h1>Day report</h1>\n")
                                           : QStringLiteral("<h1>Handover report</h1>\n");
    return page + facts({{QStringLiteral("Production"), text(heading.production)},
                         {QStringLiteral("Shooting day"), text(heading.shootingDay)},
                         {QStringLiteral("Operator"), text(heading.operatorName)}});
}

struct CameraTotals {
    int cards = 0;
    int clips = 0;
    double seconds = 0;
    std::int64_t bytes = 0;
};

QString summaryPart(const std::vector<ImportReport>& imports) {
    std::map<std::string, CameraTotals> cameras;
    for (const auto& import : imports) {
        auto& totals =
            cameras[import.camera.empty() ? std::string("Unknown camera") : import.camera];
        totals.cards += 1;
        for (const auto& file : import.files) {
            totals.bytes += file.bytes;
            totals.clips += file.isClip ? 1 : 0;
            totals.seconds += file.facts && file.facts->seconds ? *file.facts->seconds : 0;
        }
    }
    QString part = QStringLiteral("<h2>Summary</h2>\n") +
                   tableHead(u"list", {QStringLiteral("Camera"), QStringLiteral("Cards"),
                                       QStringLiteral("Clips"), QStringLiteral("Hours"),
                                       QStringLiteral("Size")});
    for (const auto& [camera, totals] : cameras) {
        part += row({text(camera), QString::number(totals.cards), QString::number(totals.clips),
                     durationText(totals.seconds), bytesText(totals.bytes)});
    }
    return part + QStringLiteral("</table>\n");
}

QString sourcePart(const ImportReport& import) {
    const ReportSource& source = import.source;
    return QStringLiteral("<h3>Source</h3>\n") +
           facts({{QStringLiteral("Card"), text(source.label)},
                  {QStringLiteral("Volume UUID"), text(source.volumeUuid)},
                  {QStringLiteral("Reader or drive"), text(source.device)},
                  {QStringLiteral("Capacity"),
                   source.capacity ? bytesText(*source.capacity) : QString()},
                  {QStringLiteral("Camera"), text(import.camera)},
                  {QStringLiteral("Path"), text(source.path)}});
}

QString speedText(const ReportDestination& destination) {
    if (!destination.started || !destination.finished) {
        return {};
    }
    const double seconds =
        std::chrono::duration<double>(*destination.finished - *destination.started).count();
    return seconds > 0 ? bytesText(static_cast<std::int64_t>(destination.bytes / seconds)) +
                             QStringLiteral("/s")
                       : QString();
}

QString destinationsPart(const ImportReport& import) {
    QString part =
        QStringLiteral("<h3>Destinations</h3>\n") +
        tableHead(u"list", {QStringLiteral("Destination"), QStringLiteral("Import folder"),
                            QStringLiteral("Result"), QStringLiteral("Start"),
                            QStringLiteral("End"), QStringLiteral("Average speed"),
                            QStringLiteral("Receipt"), QStringLiteral("ASC MHL generation")});
    for (const auto& destination : import.destinations) {
        part += row({text(destination.name), text(destination.folder.filename().string()),
                     text(destination.result), localTime(destination.started),
                     localTime(destination.finished), speedText(destination),
                     text(destination.receipt), text(destination.history)});
    }
    return part + QStringLiteral("</table>\n");
}

QString previewCell(const ReportFile& file, int index, PreviewImages images) {
    if (!file.preview || file.preview->kind != Thumbnail::Kind::image) {
        return u"<div class=\"nopreview\">" + noPreviewText(file).toHtmlEscaped() + u"</div>";
    }
    const QString source =
        images == PreviewImages::inlined
            ? QString(u"data:image/jpeg;base64," +
                      QString::fromLatin1(QByteArray::fromStdString(file.preview->jpeg).toBase64()))
            : QString(u"preview:" + QString::number(index));
    return u"<img width=\"" + QString::number(previewWidthIn(images)) + u"\" src=\"" + source +
           u"\" alt=\"\">";
}

QStringList clipCells(const ReportFile& file) {
    const ClipFacts none;
    const ClipFacts& facts = file.facts ? *file.facts : none;
    const QString codec =
        QString::fromStdString(facts.codec + (facts.profile.empty() ? "" : " " + facts.profile));
    const QString audio = facts.audioChannels == 0 ? QString()
                                                   : QStringLiteral("%1 ch, %2 kHz")
                                                         .arg(facts.audioChannels)
                                                         .arg(facts.sampleRate / 1000.0);
    return {text(file.path),
            text(facts.timecodeIn.value_or("")),
            text(facts.timecodeOut.value_or("")),
            facts.seconds ? durationText(*facts.seconds) : QString(),
            facts.width > 0 ? QStringLiteral("%1×%2").arg(facts.width).arg(facts.height)
                            : QString(),
            codec.toHtmlEscaped(),
            text(facts.frameRateText()),
            audio,
            bytesText(file.bytes),
            u"<span class=\"hash\">" + text(file.sha256.substr(0, 8)) + u"</span>",
            u"<span class=\"hash\">" + text(file.xxh128.substr(0, 8)) + u"</span>"};
}

// QTextDocument moves a table row to the next page only when no cell's first line fits on this
// one: every text cell starts with an invisible strut as tall as the preview, so that a row
// never leaves its picture behind. The text sits in the strut's middle.
void keepRowWhole(QStringList& cells, const ReportFile& file) {
    if (!file.preview || file.preview->kind != Thumbnail::Kind::image) {
        return;
    }
    QBuffer jpeg;
    jpeg.setData(QByteArray::fromStdString(file.preview->jpeg));
    const QSize size = QImageReader(&jpeg, "JPEG").size();
    if (size.width() <= 0) {
        return;
    }
    const QString strut = QStringLiteral("<img src=\"strut:\" width=\"1\" height=\"%1\" "
                                         "align=\"middle\" alt=\"\">")
                              .arg(printedPreviewWidth * size.height() / size.width());
    for (QString& cell : cells) {
        cell.prepend(strut);
    }
}

QString clipsPart(const ImportReport& import, int& index, PreviewImages images) {
    QStringList header{
        QStringLiteral("Preview"), QStringLiteral("Name"),       QStringLiteral("TC in"),
        QStringLiteral("TC out"),  QStringLiteral("Duration"),   QStringLiteral("Resolution"),
        QStringLiteral("Codec"),   QStringLiteral("Frame rate"), QStringLiteral("Audio"),
        QStringLiteral("Size"),    QStringLiteral("SHA-256"),    QStringLiteral("XXH3-128")};
    for (const auto& destination : import.destinations) {
        header.append(text(destination.name));
    }
    QString part = QStringLiteral("<h3>Clips</h3>\n") + tableHead(u"clips", header, 2, 5);
    for (const auto& file : import.files) {
        ++index;
        if (!file.isClip) {
            continue;
        }
        QStringList cells = clipCells(file);
        for (const auto& destination : import.destinations) {
            const auto found = destination.files.find(file.path);
            const bool verified = found != destination.files.end() && found->second == file.sha256;
            cells.append(verified ? QStringLiteral("✓") : QStringLiteral("–"));
        }
        if (images == PreviewImages::resources) {
            keepRowWhole(cells, file);
        }
        cells.prepend(previewCell(file, index, images));
        // Timecodes to hashes never wrap; in the PDF, whose rows are one line high beside the
        // preview, neither does the name.
        part += row(cells, QStringLiteral("td"), images == PreviewImages::resources ? 1 : 2, 11);
    }
    return part + QStringLiteral("</table>\n");
}

QString closingPart(const ImportReport& import) {
    std::int64_t otherBytes = 0;
    int others = 0;
    for (const auto& file : import.files) {
        if (!file.isClip) {
            ++others;
            otherBytes += file.bytes;
        }
    }
    QString part;
    if (others > 0) {
        part += QStringLiteral("<p>%1 other %2 (%3).</p>\n")
                    .arg(others)
                    .arg(others == 1 ? QStringLiteral("file") : QStringLiteral("files"))
                    .arg(bytesText(otherBytes));
    }
    if (!import.warnings.empty()) {
        part += QStringLiteral("<h3>Warnings</h3>\n<ul>\n");
        for (const auto& warning : import.warnings) {
            part += u"<li>" + text(warning) + u"</li>\n";
        }
        part += QStringLiteral("</ul>\n");
    }
    if (!import.cardState.empty()) {
        part += u"<p class=\"safe\">" + text(import.cardState) + u"</p>\n";
    }
    return part;
}

} // namespace

QString noPreviewText(const ReportFile& file) {
    if (!file.preview) {
        return QStringLiteral("No preview");
    }
    return file.preview->kind == Thumbnail::Kind::failed
               ? QStringLiteral("No preview: the clip could not be decoded")
               : QStringLiteral("No preview for this format");
}

QString reportHtml(const std::vector<ImportReport>& imports, const ReportHeading& heading,
                   ReportKind kind, PreviewImages images) {
    QString page = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta "
                                  "charset=\"utf-8\">\n<title>Quaymark report</title>\n") +
                   QString::fromLatin1(style).arg(images == PreviewImages::inlined ? 9 : 7.5) +
                   QStringLiteral("</head>\n<body>\n") + headingPart(heading, kind);
    if (kind == ReportKind::day) {
        page += summaryPart(imports);
    }
    int index = -1;
    for (const auto& import : imports) {
        const QString card =
            text(import.source.label.empty()
                     ? std::filesystem::path(import.source.path).filename().string()
                     : import.source.label);
        page += u"<h2>" + card +
                (import.camera.empty() ? QString() : u" — " + text(import.camera)) + u"</h2>\n" +
                sourcePart(import) + destinationsPart(import) + clipsPart(import, index, images) +
                closingPart(import);
    }
    page += QStringLiteral("<p class=\"footer\">Made by Brindleway Quaymark %1 on %2.</p>\n")
                .arg(QString::fromLatin1(quaymarkVersion()),
                     QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    return page + QStringLiteral("</body>\n</html>\n");
}

} // namespace quaymark::report
