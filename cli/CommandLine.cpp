// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include <algorithm>
#include <charconv>
#include <functional>

namespace quaymark::cli {

const char* const usageText =
    R"(Usage:
  quaymark-ingest import SOURCE --to DEST [--to DEST ...] [--rule RULE] [--parallel 1-4]
                         [--all-files] [--camera NAME] [--no-mhl] [--no-report] [--skip-imported]
                         [--catalog FILE] [--copies 1-5] [REPORT HEADING] [--json]
  quaymark-ingest resume FOLDER --source SOURCE [--all-files] [--parallel 1-4] [--no-mhl]
                         [--no-report] [REPORT HEADING] [--json]
  quaymark-ingest verify FOLDER [--json]
  quaymark-ingest camera PATH... [--json]
  quaymark-ingest report FOLDER... [--out PATH] [REPORT HEADING] [--json]
  quaymark-ingest catalog scan FOLDER... | find TEXT | where PATH-OR-HASH
                          | card PATH [--all-files] [--copies 1-5]   [--catalog FILE] [--json]
  quaymark-ingest --help | --version

import   Copies SOURCE into a new import folder below every DEST, side by side. Every file is
         hashed with SHA-256 while copied, read back from storage and hashed again, and gets
         its final name only when both hashes agree. Existing files are never replaced.
           --rule RULE     folder rule (default "{date}/{camera}_{time}"); tokens {date}
                           {time} {year} {month} {day} {camera} {source}
           --parallel N    files copied at the same time per destination (default 2)
           --all-files     keep the whole tree (default: video clips only, flattened)
           --camera NAME   text for {camera} (default: read from the clips' metadata,
                           else "Unknown Camera")
           --no-mhl        no ASC MHL history (by default the import folder gets an
                           ascmhl/ folder with the files' XXH3-128 hashes, carrying the
                           history a source with all files already holds)
           --no-report     no handover report (by default _QUAYMARK_REPORT.pdf, .csv
                           and .html are written into every verified import folder)
           --skip-imported import nothing from a card whose import is verified, and only
                           the new files from one that gained some since (without it, such
                           a card is imported again, with a notice)
resume   Continues an interrupted import in FOLDER (its destination is FOLDER's parent)
         from its journal, without copying verified files again. Use the same mode
         (--all-files or not) as the original import.
verify   Reads back every file that FOLDER's verification receipt lists and compares size
         and SHA-256, and XXH3-128 with FOLDER's ASC MHL history when it has one; reports
         missing, changed and unlisted files and files the history disagrees with. Writes
         nothing.
camera   Prints the camera name found in the clips of each folder or file.
report   Writes the handover report of each verified import FOLDER into it
         (_QUAYMARK_REPORT.pdf, .csv and .html: source, destinations, and every file with
         its hashes and, for clips, a preview, timecode, duration, codec, resolution, frame
         rate and audio, read from the copy), or one day report of all of them to PATH.pdf,
         PATH.csv and PATH.html with --out PATH.
REPORT HEADING: --production TEXT, --shooting-day TEXT, --operator TEXT
catalog  The memory of every verified import, kept in the data folder (--catalog FILE for
         another). Every import, resume and verify writes to it.
           scan FOLDER...  records every verified import folder below each FOLDER: a
                           deleted catalog comes back from the drives
           find TEXT       files by name, camera, card label, date (YYYY-MM-DD) or hash
           where X         every copy of a file, by hash prefix or card path; a file that
                           exists is hashed and looked up by its SHA-256
           card PATH       whether the card at PATH is safe to format: every file in
                           verified copies on --copies distinct drives (default 2), and
                           nothing added, removed or changed since; exit status 0 only then

--json   One JSON object per line (progress, results, errors) instead of text.

Exit status: 0 when everything is verified, 1 on failure, 2 on a usage error,
130 when interrupted. Ctrl-C stops every run at its next block and leaves a journal to
resume from; a second Ctrl-C stops at once.
)";

namespace {

// The whole of `text` as a number from `low` to `high`, the value of `option`.
std::int64_t numberValue(const std::string& option, const std::string& text, std::int64_t low,
                         std::int64_t high) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        throw UsageError(option + " takes a number from " + std::to_string(low) + " to " +
                         std::to_string(high));
    }
    return value;
}

CommandKind kindOf(const std::string& verb) {
    if (verb == "import") {
        return CommandKind::import;
    }
    if (verb == "resume") {
        return CommandKind::resume;
    }
    if (verb == "verify") {
        return CommandKind::verify;
    }
    if (verb == "camera") {
        return CommandKind::camera;
    }
    if (verb == "catalog") {
        return CommandKind::catalog;
    }
    if (verb == "report") {
        return CommandKind::report;
    }
    throw UsageError("unknown command \"" + verb + "\"");
}

void placeCatalogOperands(CommandLine& command, const std::vector<std::string>& positional) {
    const std::string action = positional.empty() ? std::string() : positional[0];
    const std::vector<std::string> rest(positional.begin() + (positional.empty() ? 0 : 1),
                                        positional.end());
    if (action == "scan" && !rest.empty()) {
        command.catalogAction = CatalogAction::scan;
    } else if (action == "find" && !rest.empty()) {
        command.catalogAction = CatalogAction::find;
    } else if (action == "where" && rest.size() == 1) {
        command.catalogAction = CatalogAction::where;
    } else if (action == "card" && rest.size() == 1) {
        command.catalogAction = CatalogAction::card;
    } else {
        throw UsageError(
            "catalog takes scan FOLDER..., find TEXT, where PATH-OR-HASH or card PATH");
    }
    command.paths = rest;
}

// Applies `argument` when it is an option of the command; false when it is none.
bool takeOption(CommandLine& command, const std::string& argument,
                const std::function<const std::string&()>& value) {
    const bool importing = command.kind == CommandKind::import;
    const bool copying = importing || command.kind == CommandKind::resume;
    const bool cataloguing = command.kind == CommandKind::catalog;
    const bool verifying = command.kind == CommandKind::verify;
    if (argument == "--json") {
        command.json = true;
    } else if (argument == "--to" && importing) {
        command.destinations.push_back(value());
    } else if (argument == "--rule" && importing) {
        command.rule = value();
    } else if (argument == "--camera" && importing) {
        command.camera = value();
    } else if (argument == "--source" && command.kind == CommandKind::resume) {
        command.source = value();
    } else if (argument == "--parallel" && copying) {
        command.parallel = numberValue(argument, value(), 1, 4);
    } else if (argument == "--all-files" && (copying || cataloguing)) {
        command.allFiles = true;
    } else if (argument == "--no-mhl" && copying) {
        command.writeMhl = false;
    } else if (argument == "--no-report" && copying) {
        command.writeReport = false;
    } else if (argument == "--skip-imported" && importing) {
        command.skipImported = true;
    } else if (argument == "--catalog" && (copying || cataloguing || verifying)) {
        command.catalogFile = value();
    } else if (argument == "--out" && command.kind == CommandKind::report) {
        command.out = value();
    } else if (argument == "--production" && (copying || command.kind == CommandKind::report)) {
        command.production = value();
    } else if (argument == "--shooting-day" && (copying || command.kind == CommandKind::report)) {
        command.shootingDay = value();
    } else if (argument == "--operator" && (copying || command.kind == CommandKind::report)) {
        command.operatorName = value();
    } else if (argument == "--copies" && (cataloguing || importing)) {
        command.copies = numberValue(argument, value(), 1, 5);
    } else {
        return false;
    }
    return true;
}

// The operands each command takes, and no empty path anywhere.
void placeOperands(CommandLine& command, const std::vector<std::string>& positional) {
    switch (command.kind) {
    case CommandKind::import:
        if (positional.size() != 1 || command.destinations.empty()) {
            throw UsageError("import takes one SOURCE and at least one --to DEST");
        }
        command.source = positional[0];
        break;
    case CommandKind::resume:
        if (positional.size() != 1 || command.source.empty()) {
            throw UsageError("resume takes one FOLDER and --source SOURCE");
        }
        command.folder = positional[0];
        break;
    case CommandKind::verify:
        if (positional.size() != 1) {
            throw UsageError("verify takes one FOLDER");
        }
        command.folder = positional[0];
        break;
    case CommandKind::camera:
        if (positional.empty()) {
            throw UsageError("camera takes at least one PATH");
        }
        command.paths = positional;
        break;
    case CommandKind::catalog:
        placeCatalogOperands(command, positional);
        break;
    case CommandKind::report:
        if (positional.empty()) {
            throw UsageError("report takes at least one FOLDER");
        }
        command.paths = positional;
        break;
    case CommandKind::help:
    case CommandKind::version:
        break;
    }
    // An empty path would stand for the current folder, or for nothing at all.
    const auto empty = [](const std::string& path) { return path.empty(); };
    const CommandKind kind = command.kind;
    if (std::any_of(command.destinations.begin(), command.destinations.end(), empty) ||
        std::any_of(command.paths.begin(), command.paths.end(), empty) ||
        ((kind == CommandKind::import || kind == CommandKind::resume) && empty(command.source)) ||
        ((kind == CommandKind::resume || kind == CommandKind::verify) && empty(command.folder))) {
        throw UsageError("a path may not be empty");
    }
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine command;
    if (arguments.empty()) {
        throw UsageError("a command is needed");
    }
    const std::string& verb = arguments[0];
    if (verb == "--help" || verb == "-h" || verb == "help") {
        return command;
    }
    if (verb == "--version") {
        command.kind = CommandKind::version;
        return command;
    }
    command.kind = kindOf(verb);

    std::vector<std::string> positional;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto value = [&]() -> const std::string& {
            if (i + 1 >= arguments.size()) {
                throw UsageError(argument + " needs a value");
            }
            return arguments[++i];
        };
        if (argument == "--help" || argument == "-h") {
            command.kind = CommandKind::help;
            return command;
        } else if (takeOption(command, argument, value)) {
            continue;
        } else if (argument.starts_with("-") && argument != "-") {
            throw UsageError("unknown option " + argument + " for " + verb);
        } else {
            positional.push_back(argument);
        }
    }

    placeOperands(command, positional);
    return command;
}

} // namespace quaymark::cli
