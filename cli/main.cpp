// SPDX-License-Identifier: GPL-3.0-or-later
// quaymark-ingest: the import engine for scripts, servers and tests.

#include "CameraCommand.h"
#include "CatalogCommand.h"
#include "CommandLine.h"
#include "ImportCommand.h"
#include "ReportCommand.h"
#include "Reporter.h"
#include "Supervisor.h"
#include "VerifyCommand.h"
#include "ingest/records/Version.h"

#include <cstdio>

using namespace quaymark::cli;

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    CommandLine command;
    try {
        command = parseCommandLine(arguments);
    } catch (const UsageError& error) {
        std::fprintf(stderr, "quaymark-ingest: %s\n\n%s", error.what(), usageText);
        return 2;
    }
    Reporter reporter{command.json};
    try {
        switch (command.kind) {
        case CommandKind::help:
            std::fputs(usageText, stdout);
            return 0;
        case CommandKind::version:
            std::printf("quaymark-ingest %s\n", quaymark::quaymarkVersion());
            return 0;
        case CommandKind::import:
        case CommandKind::resume:
            return runSupervised([&] {
                try {
                    return runImport(command, reporter);
                } catch (const std::exception& error) {
                    reporter.error(error.what());
                    return 1;
                }
            });
        case CommandKind::verify:
            return runVerify(command, reporter);
        case CommandKind::camera:
            return runCamera(command, reporter);
        case CommandKind::catalog:
            return runCatalog(command, reporter);
        case CommandKind::report:
            return runReport(command, reporter);
        }
    } catch (const std::exception& error) {
        reporter.error(error.what());
        return 1;
    }
    return 1;
}
