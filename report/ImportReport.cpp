// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportReport.h"

#include "ReportPage.h"
#include "ReportPdf.h"
#include "ingest/copy/DurableWrite.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/engine/ReceiptCheck.h"
#include "ingest/records/IsoDate.h"
#include "ingest/records/StoredText.h"
#include "ingest/scan/MediaFormats.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace fs = std::filesystem;

namespace quaymark::report {

namespace {

// A field quoted when it holds a comma, a quote or a line break, its quotes doubled.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string csvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (const auto& field : fields) {
        line += (line.empty() ? "" : ",") + csvField(field);
    }
    return line + "\r\n";
}

std::string formatted(const char* format, double value) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), format, value);
    return text.data();
}

std::vector<std::string> factFields(const std::optional<ClipFacts>& facts) {
    if (!facts) {
        return std::vector<std::string>(7);
    }
    const std::string codec = facts->codec + (facts->profile.empty() ? "" : " " + facts->profile);
    const std::string audio = facts->audioChannels == 0
                                  ? std::string()
                                  : std::to_string(facts->audioChannels) + " ch " +
                                        formatted("%g kHz", facts->sampleRate / 1000.0);
    return {facts->timecodeIn.value_or(""),
            facts->timecodeOut.value_or(""),
            facts->seconds ? formatted("%.3f", *facts->seconds) : std::string(),
            codec,
            facts->width > 0 ? std::to_string(facts->width) + "x" + std::to_string(facts->height)
                             : std::string(),
            facts->frameRateText(),
            audio};
}

// The newest ASC MHL generation's name, inside the import folder.
std::string newestGeneration(const fs::path& folder) {
    std::string newest;
    std::error_code error;
    for (fs::directory_iterator entry(folder / "ascmhl", error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (entry->path().extension() == ".mhl" && name > newest) {
            newest = name;
        }
    }
    return newest.empty() ? newest : "ascmhl/" + newest;
}

ReportFile fileOf(const fs::path& folder, const FileReceipt& file, std::string xxh128,
                  const Thumbnailer* previews, const CancellationFlag& cancellation) {
    ReportFile row{file.path,
                   file.bytes,
                   file.sha256,
                   std::move(xxh128),
                   std::nullopt,
                   std::nullopt,
                   MediaFormats::isVideo(file.path)};
    if (!row.isClip) {
        return row;
    }
    row.facts = readClipFacts(folder / file.path);
    if (previews) {
        // A container libavformat cannot read holds nothing its decoders could show.
        row.preview = row.facts ? previews->of(folder / file.path, cancellation)
                                : Thumbnail{Thumbnail::Kind::unsupported, {}};
    }
    return row;
}

void withContext(ImportReport& report, const std::vector<BatchFolder>& folders,
                 const ReportContext& context) {
    if (context.source) {
        ReportSource source = *context.source;
        source.path = source.path.empty() ? report.source.path : source.path;
        source.volumeUuid =
            source.volumeUuid.empty() ? report.source.volumeUuid : source.volumeUuid;
        report.source = std::move(source);
    }
    report.destinations.front().name = folders.front().destination;
    for (std::size_t i = 1; i < folders.size(); ++i) {
        report.destinations.push_back(destinationOf(folders[i].folder, folders[i].destination));
    }
    report.destinations.insert(report.destinations.end(), context.unverified.begin(),
                               context.unverified.end());
    report.warnings.insert(report.warnings.begin(), context.warnings.begin(),
                           context.warnings.end());
    report.cardState = context.cardState;
}

struct ReportFiles {
    fs::path csv;
    fs::path html;
    fs::path pdf;

    static ReportFiles inFolder(const fs::path& folder) {
        return {folder / ImportDocuments::reportCsv, folder / ImportDocuments::reportHtml,
                folder / ImportDocuments::reportPdf};
    }
    static ReportFiles besides(const fs::path& base) {
        const std::string name = base.string();
        return {name + ".csv", name + ".html", name + ".pdf"};
    }
};

// The three documents, each written durably; the PDF is made once for all folders.
fs::path writeDocuments(const std::vector<ImportReport>& imports, const ReportHeading& heading,
                        ReportKind kind, const QByteArray& pdf, const ReportFiles& files) {
    durableWrite(reportCsv(imports), files.csv);
    durableWrite(reportHtml(imports, heading, kind, PreviewImages::inlined).toStdString(),
                 files.html);
    durableWrite(std::string_view(pdf.constData(), static_cast<std::size_t>(pdf.size())),
                 files.pdf);
    return files.pdf;
}

} // namespace

void ReportContext::addWarnings(const std::vector<std::string>& more) {
    for (const auto& warning : more) {
        if (std::find(warnings.begin(), warnings.end(), warning) == warnings.end()) {
            warnings.push_back(warning);
        }
    }
}

ReportDestination destinationOf(const fs::path& folder, std::string name) {
    return destinationFrom(folder, ImportEngine::readClaims(folder).receipt, std::move(name));
}

ReportDestination destinationFrom(const fs::path& folder, const ImportReceipt& receipt,
                                  std::string name) {
    ReportDestination destination;
    destination.name = name.empty() ? folder.parent_path().string() : std::move(name);
    destination.folder = folder;
    destination.result = "Verified";
    destination.started = receipt.started;
    destination.finished = receipt.finished;
    destination.receipt = std::string(ImportDocuments::receipt);
    for (const auto& file : receipt.files) {
        destination.bytes += file.bytes;
        destination.files.emplace(file.path, file.sha256);
    }
    destination.history = newestGeneration(folder);
    return destination;
}

ImportReport readImportReport(const fs::path& folder, const CancellationFlag& cancellation,
                              const Thumbnailer* previews) {
    ImportReport report;
    report.folder = folder;
    const auto claims = ImportEngine::readClaims(folder);
    report.receipt = claims.receipt;
    report.source.path = claims.receipt.source;
    report.destinations.push_back(destinationFrom(folder, claims.receipt, {}));
    try {
        const SessionRecord session = ImportEngine::readSession(folder);
        report.camera = session.options.cameraName.value_or("");
        report.source.volumeUuid = session.sourceVolume.value_or("");
    } catch (const std::exception&) {
        // The receipt alone is the proof; a report without a camera name is still one.
    }
    if (previews && !previews->available()) {
        report.warnings.emplace_back(
            "The preview helper quaymark-thumbnail is not installed; the report has no previews.");
        previews = nullptr;
    }
    for (const auto& file : report.receipt.files) {
        cancellation.check();
        // The receipt keeps SHA-256; the XXH3-128 is the ASC MHL history's.
        std::string xxh128 = file.xxh128.value_or("");
        if (claims.history && xxh128.empty()) {
            const auto found = claims.history->find(file.path);
            xxh128 = found == claims.history->end() ? "" : found->second;
        }
        report.files.push_back(fileOf(folder, file, std::move(xxh128), previews, cancellation));
        if (report.files.back().preview &&
            report.files.back().preview->kind == Thumbnail::Kind::failed) {
            report.warnings.push_back("No preview of " + file.path +
                                      ": the clip could not be decoded.");
        }
    }
    return report;
}

std::vector<std::string> writeBatchReport(const std::vector<BatchFolder>& folders,
                                          const ReportContext& context,
                                          const CancellationFlag& cancellation) {
    std::vector<std::string> problems;
    if (folders.empty()) {
        return problems;
    }
    try {
        const Thumbnailer previews(context.thumbnailer);
        ImportReport report = readImportReport(folders.front().folder, cancellation, &previews);
        withContext(report, folders, context);
        const QByteArray pdf = reportPdf({report}, context.heading, ReportKind::handover);
        for (const auto& [folder, name] : folders) {
            cancellation.check();
            try {
                writeDocuments({report}, context.heading, ReportKind::handover, pdf,
                               ReportFiles::inFolder(folder));
            } catch (const std::exception& error) {
                problems.push_back(folder.string() + ": " + error.what());
            }
        }
    } catch (const QuayError& error) {
        if (error.kind() == QuayError::Kind::cancelled) {
            throw;
        }
        problems.emplace_back(error.what());
    } catch (const std::exception& error) {
        problems.emplace_back(error.what());
    }
    return problems;
}

fs::path writeReport(const ImportReport& report, const ReportHeading& heading) {
    return writeDocuments({report}, heading, ReportKind::handover,
                          reportPdf({report}, heading, ReportKind::handover),
                          ReportFiles::inFolder(report.folder));
}

fs::path writeDayReport(std::vector<ImportReport> imports, const ReportHeading& heading,
                        fs::path base) {
    std::stable_sort(imports.begin(), imports.end(), [](const auto& a, const auto& b) {
        return a.receipt.started < b.receipt.started;
    });
    const std::string extension = base.extension().string();
    if (extension == ".pdf" || extension == ".csv" || extension == ".html") {
        base.replace_extension();
    }
    return writeDocuments(imports, heading, ReportKind::day,
                          reportPdf(imports, heading, ReportKind::day), ReportFiles::besides(base));
}

std::string reportCsv(const std::vector<ImportReport>& imports) {
    std::string csv =
        csvLine({"path", "size", "sha256", "xxh128", "camera", "timecode_in", "timecode_out",
                 "duration", "codec", "resolution", "frame_rate", "audio", "verified"});
    for (const auto& import : imports) {
        const std::string verified = formatIsoDate(import.receipt.finished);
        for (const auto& file : import.files) {
            std::vector<std::string> fields = {storedText(file.path), std::to_string(file.bytes),
                                               file.sha256, file.xxh128, import.camera};
            const auto facts = factFields(file.facts);
            fields.insert(fields.end(), facts.begin(), facts.end());
            fields.push_back(verified);
            csv += csvLine(fields);
        }
    }
    return csv;
}

} // namespace quaymark::report
