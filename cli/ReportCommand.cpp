// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportCommand.h"

#include "report/ImportReport.h"
#include "report/ReportPdf.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace quaymark::cli {

namespace {

void written(const fs::path& file, const std::vector<report::ImportReport>& imports,
             Reporter& reporter) {
    std::size_t files = 0;
    std::size_t clips = 0;
    for (const auto& import : imports) {
        files += import.files.size();
        for (const auto& entry : import.files) {
            clips += entry.isClip ? 1 : 0;
        }
    }
    if (reporter.json()) {
        reporter.event(
            {{"event", "report"}, {"file", file.string()}, {"files", files}, {"clips", clips}});
    } else {
        reporter.say("Report     " + file.string() + " (" + std::to_string(files) + " files, " +
                     std::to_string(clips) + " clips)");
    }
}

} // namespace

int runReport(const CommandLine& command, Reporter& reporter) {
    const report::ReportHeading heading{command.production, command.shootingDay,
                                        command.operatorName};
    const report::Thumbnailer previews(report::Thumbnailer::installed());
    std::vector<report::ImportReport> imports;
    try {
        report::ensureGuiForReports();
        for (const auto& folder : command.paths) {
            imports.push_back(report::readImportReport(fs::absolute(folder).lexically_normal(),
                                                       CancellationFlag{}, &previews));
        }
        if (command.out) {
            written(report::writeDayReport(imports, heading, fs::absolute(*command.out)), imports,
                    reporter);
            return 0;
        }
        for (const auto& import : imports) {
            written(report::writeReport(import, heading), {import}, reporter);
        }
    } catch (const std::exception& error) {
        reporter.error(error.what());
        return 1;
    }
    return 0;
}

} // namespace quaymark::cli
