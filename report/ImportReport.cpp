// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImportReport.h"

#include "ingest/copy/DurableWrite.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/engine/ReceiptCheck.h"
#include "ingest/records/IsoDate.h"
#include "ingest/records/StoredText.h"
#include "ingest/scan/MediaFormats.h"

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

} // namespace

ImportReport readImportReport(const fs::path& folder, const CancellationFlag& cancellation) {
    ImportReport report;
    report.folder = folder;
    const auto claims = ImportEngine::readClaims(folder);
    report.receipt = claims.receipt;
    try {
        report.camera = ImportEngine::readSession(folder).options.cameraName.value_or("");
    } catch (const std::exception&) {
        // The receipt alone is the proof; a report without a camera name is still one.
    }
    for (const auto& file : report.receipt.files) {
        cancellation.check();
        // The receipt keeps SHA-256; the XXH3-128 is the ASC MHL history's.
        std::string xxh128 = file.xxh128.value_or("");
        if (claims.history && xxh128.empty()) {
            const auto found = claims.history->find(file.path);
            xxh128 = found == claims.history->end() ? "" : found->second;
        }
        ReportFile row{file.path, file.bytes, file.sha256, xxh128, std::nullopt};
        if (MediaFormats::isVideo(file.path)) {
            row.facts = readClipFacts(folder / file.path);
        }
        report.files.push_back(std::move(row));
    }
    return report;
}

void writeReport(const fs::path& folder, const CancellationFlag& cancellation) {
    writeReport(readImportReport(folder, cancellation));
}

fs::path writeReport(const ImportReport& report) {
    const fs::path file = report.folder / ImportDocuments::reportCsv;
    durableWrite(reportCsv({report}), file);
    return file;
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
