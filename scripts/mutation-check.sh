#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts small faults, one at a time, into the code that guards data and trust, rebuilds what
# they touch, runs the tests that should notice, and says for each whether they did.
#   scripts/mutation-check.sh            every fault
#   scripts/mutation-check.sh PATTERN    only faults whose name contains PATTERN
# Uses build/default (configured if missing). The source tree is restored after every fault,
# also on Ctrl-C. Prints one line per fault, "caught" or "MISSED", then "N faults, N caught";
# exits 1 when a fault was missed or could not be applied.
set -uo pipefail
cd "$(dirname "$0")/.."

only=${1:-}
build=build/default
[[ -f "$build/build.ninja" ]] || cmake --preset default >/dev/null

# name | file | exact text | replacement | build targets | ctest regex
# The text must occur exactly once in the file; "\n" in text or replacement is a line break.
# A fault that needs edits in several places lists them joined by " ++ " in the file, text
# and replacement fields alike.
faults=$(cat <<'LIST'
promote before the reread matched|ingest/copy/FileCopy.cpp|    if (reread.sha256 != source.sha256 \|\| reread.xxh128 != source.xxh128 \|\|\n        verified != source.bytes \|\| copied_ != source.bytes) {|    if (false) {|copy_tests engine_tests|CopyTest|ImportFixture|ResumeTest
compare the wrong digest|ingest/copy/FileCopy.cpp|if (reread.sha256 != source.sha256 \|\| reread.xxh128 != source.xxh128|if (reread.sha256 != reread.sha256 \|\| reread.xxh128 != reread.xxh128|copy_tests engine_tests|CopyTest|ImportFixture
reread from the page cache|ingest/copy/FileCopy.cpp ++ ingest/copy/FileCopy.cpp ++ ingest/copy/FileDigest.cpp ++ ingest/copy/ReadAhead.cpp|        ::fcntl(fd, F_SETFL, flags \| O_DIRECT); ++     ::posix_fadvise(partial_.fd.get(), 0, 0, POSIX_FADV_DONTNEED);\n ++     ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);\n    cancellation.check(); ++     setDirect(fd_, true);\n|        (void)fd; ++ \n ++     cancellation.check(); ++ \n|copy_tests engine_mount_tests|CopyTest|Digest|StorageLost
source changes unnoticed at the end|ingest/copy/FileCopy.cpp|!(after.st_ctim == before_.st_ctim)) {|false) {|copy_tests|CopyTest
modification time tolerance off|ingest/copy/FileCopy.cpp|> modifiedTolerance) {|> 1e9) {|copy_tests|CopyTest
existing final file replaced|ingest/copy/SafeMove.cpp|RENAME_NOREPLACE) == 0|0) == 0|copy_tests|CopyTest
partial file kept on failure|ingest/copy/FileCopy.cpp|        ::unlinkat(folder, name.c_str(), 0);\n|\n|copy_tests engine_tests|CopyTest|ImportFixture|ResumeTest|SharedReads
a destination takes every disk worker|ingest/copy/DiskWorkers.cpp|return running == running_.end() \|\| running->second < perKey_;|return true;|copy_tests|DiskWorkers
a file system error leaves the engine as it is|ingest/records/QuayError.h|        throw QuayError::from(std::current_exception());|        throw;|scan_tests|SourceScan
reads in flight share the caller's buffers|ingest/copy/ReadAhead.cpp|    const size_t count = std::max<size_t>(depth, 1) + inFlight_ - 1;|    const size_t count = std::max<size_t>(depth, 1);|copy_tests|ReadAheadHandsOut
reads in flight handed out newest first|ingest/copy/ReadAhead.cpp|        block = pending_.front().get();\n        pending_.pop_front();|        block = pending_.back().get();\n        pending_.pop_back();|copy_tests|ReadAheadHandsOut
a cancel does not wake the shared read|ingest/copy/ReadSession.cpp|            wakes_.push_back(std::make_unique<CancellationWake>(context->cancellation, wakeRead));\n|\n|engine_tests|ADestinationCancelledInsideAHangingWrite
a cancelled run does not wake the copies waiting for it|ingest/copy/SharedReads.cpp|cancellation, [joined = member.get()] { joined->recheck(); });|cancellation, [] {});|copy_tests|AWaitingCopyStarts
the copy pass sleeps through a waiting copy's grace|ingest/engine/CopyPass.cpp|auto deadline = sharing_.graceEnd();|std::optional<std::chrono::steady_clock::time_point> deadline;|engine_tests|AStalledDestination
shared read unbounded by the slowest destination|ingest/copy/ReadSession.cpp|c + 2 > sharedDepth ? c + 2 - sharedDepth : 0;|0;|engine_tests|SharedReads
link followed below the import folder|ingest/copy/FolderBeneath.cpp|constexpr int folderFlags = O_RDONLY \| O_DIRECTORY \| O_NOFOLLOW \| O_CLOEXEC;|constexpr int folderFlags = O_RDONLY \| O_DIRECTORY \| O_CLOEXEC;|engine_tests|ResumeTest
kernel confinement off|ingest/copy/FolderBeneath.cpp|how.resolve = RESOLVE_BENEATH \| RESOLVE_NO_SYMLINKS \| RESOLVE_NO_MAGICLINKS;|how.resolve = 0;|engine_tests|ResumeTest
skip the directory sync|ingest/engine/ImportRun.cpp|        syncFolders();\n|\n|engine_tests|ImportFixture
durable write leaves its temporary|ingest/copy/DurableWrite.cpp|            ::unlink(path_.c_str());|            (void)path_;|copy_tests|DurableWrite
save the journal without the new receipt|ingest/engine/CopyPass.cpp|            journal_.addCompleted(std::move(receipt));|            (void)receipt;|engine_tests|ImportFixture|ResumeTest
forget a partial file on resume|ingest/engine/ImportRun.cpp|                    removeOldPartial(old->second);\n                }\n            }\n            const std::string folderPart|                }\n            }\n            const std::string folderPart|engine_tests|ResumeTest
partial entry allowed outside|ingest/engine/ImportRun.cpp|        if (!isPartialEntry(entry)) {|        if (false) {|engine_tests|ResumeTest
hard-stop leftovers kept|ingest/engine/ImportRun.cpp|            removeLeftoverStatusFiles(folder_);\n|\n|engine_tests|ResumeTest
leftover pattern too wide|ingest/copy/DurableWrite.cpp|        if (!ok) {|        if (false) {|engine_tests|ResumeTest
proof readable by its owner alone|ingest/copy/DurableWrite.cpp|                      0666);|                      0600);|engine_tests|ImportFixture
lock kept in a verified folder|ingest/engine/ImportRun.cpp|lock_->removeAndRelease();|lock_->release();|engine_tests|ImportFixture
running import offered for recovery|app/model/RecoveryOffers.cpp|        if (!running.contains(QDir::cleanPath(folder))) {|        if (true) {|model_tests|ImportQueueTest
import locked elsewhere offered for recovery|app/model/RecoveryOffers.cpp|                if (!SessionLock::heldNow(pathOf(folder))) {|                if (true) {|model_tests|ImportQueueTest
places column takes the folder dialog|app/ui/FolderChooser.qml|            Layout.fillWidth: false\n            Layout.preferredWidth: Math.round(chooser.availableWidth / 4)|            Layout.preferredWidth: Math.round(180 * QuayTheme.textScale)|ui_tests|MainWindowScreenTest
typed path thrown away by Choose folder|app/ui/FolderChooser.qml|            onClicked: chooser.typing && location.text !== "" ? chooser.typed()|            onClicked: false ? chooser.typed()|ui_tests|MainWindowScreenTest
a portal closed with Escape opens a second dialog|app/platform/qt/FolderPortal.cpp|        if (code != 0) {|        if (code == 1) {|app_shell_tests|DesktopServices
portal opens away from the pane's folder|app/platform/qt/FolderPortal.cpp|    if (!start.isEmpty()) {|    if (false) {|app_shell_tests|DesktopServices
missing download tools not named|app/downloads/ToolsSetup.cpp|    if (check.missing.size() == DownloadTools::names.size()) {|    if (!check.missing.empty()) {|downloads_tests|DownloadModelTest
unreachable release server reported as a transfer error|app/downloads/HttpsClient.cpp|        code == CURLE_COULDNT_CONNECT) {|        code == CURLE_COULDNT_CONNECT && false) {|downloads_tests|ToolInstallerTest
running batch left out of view|app/ui/ImportScreen.qml|        if (!following)\n            return|        return|ui_tests|MainWindowScreenTest
destination inside the source startable|app/model/ImportQueue.cpp|        if (destination == source \|\| ImportEngine::isInside(destination, source)) {|        if (false) {|ui_tests|MainWindowScreenTest
disabled flat button drawn as enabled|app/ui/FlatButton.qml|    opacity: enabled ? 1 : 0.4|    opacity: 1|ui_tests|MainWindowScreenTest
alert left open by Return|app/ui/ContentView.qml|            Keys.onReturnPressed: statusAlert.accept()|            Keys.onReturnPressed: {}|ui_tests|MainWindowScreenTest
no word when no file manager shows a folder|app/platform/qt/DesktopServices.cpp|        if (!known \|\| !QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {|        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)) && false) {|app_shell_tests|DesktopServices
lower-case collision check off|ingest/scan/FlatNames.cpp|        ++counts[UnicodeText::nameKey(file.output)];|        ++counts[file.output];|scan_tests|SourceScan
free-space check off|ingest/engine/ImportRun.cpp|if (available && *available < needed + freeSpaceMargin) {|if (available && *available < needed) {|engine_tests|ImportFixture
a FIFO accepted as a document|ingest/copy/SessionDocuments.cpp|O_RDONLY \| O_NOFOLLOW \| O_NONBLOCK \| O_CLOEXEC|O_RDONLY \| O_CLOEXEC|engine_tests|ResumeTest
a FIFO accepted at an output path|ingest/engine/ImportRun.cpp|        if (!S_ISREG(info.st_mode)) {\n            throw QuayError::verification(file.output);|        if (false) {\n            throw QuayError::verification(file.output);|engine_tests|ResumeTest
a link planned from the source|ingest/scan/SourceScan.cpp|FTS_PHYSICAL \| FTS_NOCHDIR|FTS_LOGICAL \| FTS_NOCHDIR|scan_tests|SourceScan
import folder refusal off|ingest/scan/SourceScan.cpp|if (!videosOnly && item->fts_level == 1 && isImportDocument(item->fts_name)) {|if (false) {|scan_tests|SourceScan
overlapping folders accepted|ingest/scan/LocationCheck.cpp|\|\| isInside(t, s) \|\| isInside(s, t)) {|) {|scan_tests|LocationCheck
resume of another card accepted|ingest/engine/ImportRun.cpp|record.source != source_.string() \|\| record.sourceVolume != sourceVolume \|\||record.source != source_.string() \|\||engine_tests|ResumeTest
receipt written with files missing|ingest/engine/ImportRun.cpp|if (receipt.files.size() != plan_.size()) {|if (false) {|engine_tests|ImportFixture
file added during the import accepted|ingest/engine/ImportRun.cpp|            throw QuayError::changed("The source file list changed during import");|            (void)0;|engine_tests|ImportFixture
second run of an import folder allowed|ingest/copy/SessionLock.cpp|    if (retryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX \| LOCK_NB); }) != 0) {|    if (false) {|copy_tests engine_tests|SessionLock|ResumeTest
resume hint unquoted|cli/Reporter.cpp|            quoted += "'\\''";|            quoted += c;|cli_tests|IngestCommand
control characters printed raw|ingest/scan/UnicodeText.cpp|        if (point < 0x20 \|\| point == 0x7F) {|        if (false) {|cli_tests|IngestCommand
journal dates overflow|ingest/records/IsoDate.cpp|    if (seconds < -limit \|\| seconds > limit \|\||    if (|records_tests scan_tests|FuzzInputs|SourceScan
camera model read from the make key|ingest/camera/QuickTimeCameraReader.cpp|            if (endsWith(key->second, U"model")) {|            if (endsWith(key->second, U"make")) {|camera_tests|QuickTimeReaderTest|RealClipsTest
a failed MHL hash taken as the file's hash|ingest/mhl/MhlDocuments.cpp|                if (action && text(action.get()) == Action::failed) {|                if (false) {|mhl_tests|MhlDocuments
unplugged destination replaced by its mount point|app/model/ImportQueue.cpp|                    return std::pair(std::optional(shown.value(i, location.path)), folders);|                    folders.append(shown.value(i, location.path));|model_tests|DriveWatchingTest
bookmark rebuilt on save|app/model/AppModel.cpp|    saveTimer_.stop();\n    setup_.preferences->save(preferences_);|    saveTimer_.stop();\n    for (auto& location : preferences_.destinations) {\n        if (const auto fresh = platform::createBookmark(pathOf(location.path), setup_.system)) {\n            location.bookmark = QByteArray::fromStdString(*fresh);\n        }\n    }\n    setup_.preferences->save(preferences_);|model_tests|DriveWatchingTest|WindowThreadTest
quit guard skipped while a batch runs|app/shell/QuitGuard.cpp|    return (model_ && model_->queue()->processing()) \|\||    return|app_shell_tests|QuitGuard|ShellAppTest
a remote folder taken from the folder dialog|app/shell/ShellActions.cpp|if (folder.isEmpty() \|\| !folder.isLocalFile()) {|if (folder.isEmpty()) {|app_shell_tests|ShellAppTest
file manager sent an unencoded address|app/platform/qt/DesktopServices.cpp|QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)|QUrl::fromLocalFile(path).toString()|app_shell_tests|DesktopServices
screen saver inhibited forever|app/platform/qt/SleepInhibitor.cpp|        unInhibit(hold_->screenSaverPath, *hold_->cookie);|        (void)0;|platform_qt_tests|SleepInhibitor
tools installer accepts a checksum mismatch|app/downloads/ReleaseService.cpp|    if (lowered(expected) != fileSha256(file)) {|    if (false) {|downloads_tests|ToolInstallerTest
zip entry with ".." accepted|app/downloads/ZipExtract.cpp|        if (component == "..") {|        if (false) {|downloads_tests|ZipExtractTest
download command line altered|app/downloads/DownloadCommand.cpp|        QStringLiteral("--no-overwrites"),\n|\n|downloads_tests|DownloadCommandTest|DownloadQueueTest
tagged progress line misparsed|app/downloads/DownloadQueue.cpp|        const auto value = parsed(*progress);|        const auto value = parsed(progress->mid(1));|downloads_tests|DownloadQueueTest
reported file not confirmed|app/downloads/LinkJob.cpp|    if (!reported.file \|\| !QFileInfo(*reported.file).isFile()) {|    if (false) {|downloads_tests|DownloadQueueTest
download into an unplugged drive's mount point|app/downloads/LinkJob.cpp|        } else if (platform::namesVolume(bookmark)) {\n            throw unavailable;\n        }|        }|downloads_tests|DownloadQueueTest
a copied folder named as the history in another case accepted|ingest/scan/DestinationNames.cpp|if (top != own && UnicodeText::nameKey(top) == UnicodeText::nameKey(own)) {|if (false) {|engine_mount_tests|Exfat
names a FAT drive refuses accepted|ingest/scan/DestinationNames.cpp|        rules.fatCharacters = true;|        rules.fatCharacters = false;|engine_mount_tests|Exfat
case twins accepted on a drive that folds case|ingest/scan/DestinationNames.cpp|        checkFolding(plan);\n|\n|engine_mount_tests|Exfat
the history step removes what the import copied|ingest/mhl/MhlHistory.cpp|(AscMhl::isDocumentName(name) \|\| isStatusFileName(name)) &&\n                !copied.contains(historyPrefix + name)) {|true) {|mhl_tests|MhlImportTest
every file of a card's history folder taken as a document|ingest/mhl/MhlHistory.cpp|           isDocumentName(relative.substr(historyPrefix.size()));|           true;|mhl_tests|MhlImportTest
folder hashes by another method|ingest/mhl/DirectoryHashes.cpp|        names.push_back(Xxh128::hex(name + bytesOf(digest)));|        names.push_back(Xxh128::hex(name));|mhl_tests|MhlDocuments
a chain entry without its generation carried|ingest/mhl/MhlHistory.cpp|        carried.chainWhole = false;\n        warnings|        carried.chain.push_back(generation);\n        warnings|mhl_tests|MhlImportTest
a folder stopped before its first journal cannot resume|ingest/engine/ImportRun.cpp|neverJournaled() ? newRecord(sourceVolume) : ImportEngine::readSession(folder_);|ImportEngine::readSession(folder_);|cli_tests|IngestCommand
a lagging destination holds the shared read|ingest/copy/ReadSession.cpp|                leaveLagging(blocks, now - *heldSince_ >= laggardGrace_);|                leaveLagging(blocks, false);|engine_tests|SharedReads
a run that has not asked holds the copy|ingest/copy/SharedReads.cpp|const bool overdue = std::chrono::steady_clock::now() - waiting.since >= laggardGrace_;|const bool overdue = false;|engine_tests|SharedReads
the first Ctrl-C waits for a stuck destination|cli/ImportCommand.cpp|            leaveStuckRuns(runs, command, reporter);|            (void)command;|cli_mount_tests|FrozenDestination
the benchmark's switch back in the installed command|ingest/copy/FileCopy.cpp|__attribute__((weak)) bool ImportEngine::xxh128Enabled() {\n    return true;|__attribute__((weak)) bool ImportEngine::xxh128Enabled() {\n    return std::getenv("QUAYMARK_BENCH_WITHOUT_XXH128") == nullptr;|cli_tests|IngestCommand
two folders on one disk count as two drives|ingest/catalog/CardStatus.cpp|drives.insert(history.copies[copy].driveKey);|drives.insert(history.copies[copy].folder.string());|catalog_tests|CatalogTest
a copy that failed its check still counts|ingest/catalog/CardStatus.cpp|            if (!history.copies[file.copy].checkFailed) {|            if (true) {|catalog_tests cli_tests|CatalogTest|CatalogCommand
a clip added after the import unnoticed|ingest/catalog/CardStatus.cpp|    if (uncovered \|\| removed) {|    if (removed) {|catalog_tests|CatalogTest
a clip removed after the import unnoticed|ingest/catalog/CardStatus.cpp|    if (uncovered \|\| removed) {|    if (uncovered) {|catalog_tests|CatalogTest
a reused path taken for a new file|ingest/catalog/CardStatus.cpp|        } else if (const auto earlier = coverage.paths.find(file.relative);\n                   earlier != coverage.paths.end()) {|        } else if (const auto earlier = coverage.paths.find(file.relative); false) {|catalog_tests cli_tests|CatalogTest|CatalogCommand
card listing depends on file order|ingest/catalog/CardFingerprint.cpp|    std::sort(files.begin(), files.end(),|    std::sort(files.begin(), files.begin(),|catalog_tests|CardFingerprint
file time left out of the card listing|ingest/catalog/CardFingerprint.cpp|        addField(hash, modifiedText(file.modified));\n|\n|catalog_tests|CardFingerprint
card listing fields run together|ingest/catalog/CardFingerprint.cpp|    const std::string length = std::to_string(field.size()) + ":";|    const std::string length;|catalog_tests|CardFingerprint
catalog written outside a transaction|ingest/catalog/Catalog.cpp ++ ingest/catalog/Catalog.cpp|    Transaction transaction(*database_);\n ++     transaction.commit();\n}\n\nbool| ++ }\n\nbool|catalog_tests|CatalogTest
a catalogued folder recorded twice|ingest/catalog/Catalog.cpp|    forget(copy.folder);\n|\n|catalog_tests|CatalogTest
a newer catalog opened for writing|ingest/catalog/Catalog.cpp|        if (migrateCatalog(*database_)) {\n            return;\n        }|        migrateCatalog(*database_);\n        return;|catalog_tests|CatalogTest
an imported card imported again with --skip-imported|cli/CardMemory.cpp|            decision.nothingToImport = true;|            decision.nothingToImport = false;|cli_tests|CatalogCommand
new clips import the whole card|ingest/engine/ImportRun.cpp|        if (options_.onlyFiles) {\n            keepOnly(*options_.onlyFiles);|        if (false) {\n            keepOnly(*options_.onlyFiles);|cli_tests|CatalogCommand
a failed verify not recorded|cli/VerifyCommand.cpp|.recordCheck(folder, status == 0 ? std::nullopt|.recordCheck(folder, true ? std::nullopt|cli_tests|CatalogCommand
a busy slot beside the card powered off|app/platform/qt/DriveEject.cpp|importing); !busy.isEmpty()) {|importing); false) {|platform_qt_tests|DriveEject
an importing slot taken for a mounted one|app/platform/qt/DriveEject.cpp|                    return folder == point \|\| folder.startsWith(point + u'/');|                    return folder == point;|platform_qt_tests|DriveEject
an unmount forced|app/platform/qt/DriveEject.cpp|    message << QVariantMap{};|    message << QVariantMap{{QStringLiteral("force"), true}};|platform_qt_tests|DriveEject
a card mounted again between two reads of the mount table missed|app/platform/qt/MountWatcher.cpp|a.device == b.device && a.mountId == b.mountId;|a.device == b.device;|platform_qt_tests|MountWatcher
every mounted drive imported automatically|app/model/DriveWatcher.cpp|const bool enrolled = enrolledCard \|\| drives.readers_.contains(reader);|const bool enrolled = true;|model_tests|DriveWatchingTest
a card in an enrolled reader left alone|app/model/DriveWatcher.cpp|const bool enrolled = enrolledCard \|\| drives.readers_.contains(reader);|const bool enrolled = enrolledCard;|model_tests|DriveWatchingTest
an imported card imported again automatically|app/model/DriveWatcher.cpp|            if (notice.kind == Kind::alreadyImported) {|            if (false) {|model_tests|DriveWatchingTest
new clips import the whole card in the window|app/model/AppModel.cpp|queue_->enqueueFiles(source_, false, memory_.newFiles());|queue_->enqueue(source_, false);|model_tests|ImportQueueTest
an imported card imported again without asking|app/model/AppModel.cpp|    if (memory_.kind() == QLatin1String("alreadyImported")) {|    if (false) {|model_tests|ImportQueueTest
a start before the catalog answered imports without asking|app/model/AppModel.cpp|    if (memory_.pending()) {|    if (false) {|model_tests|ImportQueueTest
a card not safe to format ejected without asking|app/model/DriveWatcher.cpp|            if (state.safeToFormat) {|            if (true) {|model_tests|DriveWatchingTest
timecode out one frame short|report/ClipFacts.cpp|buffer.data(), static_cast<int>(frames));|buffer.data(), static_cast<int>(frames) - 1);|report_tests|ClipFacts
report fields left unquoted|report/ImportReport.cpp|    if (text.find_first_of(|    if (true \|\| text.find_first_of(|cli_tests|ReportCommand
no report after an import in the window|app/model/ImportQueue.cpp|            if (thenReport && queue) {|            if (false) {|model_tests|ImportQueueTest
no report after an import by the command|cli/ImportCommand.cpp|    if (!command.writeReport \|\| folders.empty()) {|    if (true) {|cli_tests|ReportCommand
a crashed preview helper taken for a preview|report/Thumbnailer.cpp|    if (status == 0 && !thumbnail.jpeg.empty()) {|    if (!thumbnail.jpeg.empty()) {|report_tests cli_tests|Thumbnails|ReportCommand
a hung preview helper waited for|report/Thumbnailer.cpp|        if (left.count() <= 0) {|        if (false) {|report_tests|Thumbnails
the clip header not repeated on every page|report/ReportPage.cpp|    const QString head = QStringLiteral("<thead>") +\n                         row(header, QStringLiteral("th"), firstWhole, lastWhole) +\n                         QStringLiteral("</thead>");|    const QString head = row(header, QStringLiteral("th"), firstWhole, lastWhole);|report_tests|BatchReport
pages not numbered|report/ReportPdf.cpp|.arg(page + 1).arg(pages)|.arg(page + 1).arg(page + 1)|report_tests|BatchReport
names in the report page read as markup|report/ReportPage.cpp|    return QString::fromStdString(value).toHtmlEscaped();|    return QString::fromStdString(value);|report_tests|BatchReport
previews not inline in the page|report/ReportPage.cpp|        images == PreviewImages::inlined|        false|report_tests|BatchReport
the batch report only in the main copy|report/ImportReport.cpp|        for (const auto& [folder, name] : folders) {|        for (const auto& [folder, name] : std::vector{folders.front()}) {|report_tests|BatchReport
a PDF with ligatures unfindable as text|report/ReportPdf.cpp|        withoutLigatures(document);|        (void)document;|report_tests|BatchReport
the day report without the settings' heading|app/model/AppModel.cpp|        library_.setHeading(reportHeading());\n        savePreferences();|        savePreferences();|model_tests|ImportQueueTest
wrong preset arguments|app/downloads/DownloadCommand.cpp|QStringLiteral("vcodec:h264,res:1080,acodec:aac")|QStringLiteral("vcodec:h264,acodec:aac")|downloads_tests|DownloadCommandTest
two links of one host at once|app/downloads/DownloadQueue.cpp|        if (link && std::any_of(running_.cbegin(), running_.cend(),|        if (false && link && std::any_of(running_.cbegin(), running_.cend(),|downloads_tests|DownloadQueueTest
a cookie path stored in a link's error|app/downloads/DownloadCommand.cpp|        if (!private_) {|        if (true) {|downloads_tests|DownloadCommandTest|DownloadQueueTest
the user's cookies file handed to yt-dlp|app/downloads/LinkJob.cpp|    runCookies.file = privateCookies ? privateCookies->path() : QString();\n|\n|downloads_tests|DownloadQueueTest
downloads verified by size alone|ingest/engine/DownloadsReceipt.cpp|digest(path, cancellation, onChunk) != file.sha256) {|false) {|downloads_tests cli_tests|DownloadQueueTest|IngestCommand
a playlist downloaded as one video|app/downloads/LinkJob.cpp|    if (!link.videoId) {|    if (false) {|downloads_tests|DownloadQueueTest
a sync brings back a removed video|app/downloads/DownloadQueue.cpp|    QSet<QString> known(collection->ids.cbegin(), collection->ids.cend());|    QSet<QString> known;|downloads_tests|DownloadQueueTest
a conversion cut short is not paused after a restart|app/downloads/ProjectStore.cpp| \|\| link.state == LinkState::Converting) {|) {|downloads_tests|ProjectStoreTest
options changed under a running download|app/downloads/DownloadModel.cpp|    if (queue_.involves(selected->id)) {|    if (false) {|downloads_tests|DownloadQueueTest
a tag glued to a post-processor message missed|app/downloads/LinkJob.cpp|    const qsizetype at = line.indexOf(tag);|    const qsizetype at = line.startsWith(tag) ? 0 : -1;|downloads_tests|DownloadQueueTest
video settings opened at the top|app/ui/ContentView.qml|                onSettingsWanted: settingsSheet.showVideoProjects()|                onSettingsWanted: root.appModel.showSettings = true|ui_tests|MainWindowScreenTest
LIST
)

total=0
caught=0
failed=0
restore=""
# shellcheck disable=SC2086
trap '[[ -n "$restore" ]] && git checkout -q -- $restore; exit 130' INT TERM

while IFS= read -r line; do
    [[ -z "$line" ]] && continue
    # Fields are split on "|" except where escaped as "\|".
    mapfile -t field < <(python3 -c '
import sys, re
parts = re.split(r"(?<!\\)\|", sys.argv[1], maxsplit=5)
for p in parts: print(p.replace("\\|", "|"))' "$line")
    name=${field[0]} file=${field[1]} text=${field[2]} replacement=${field[3]}
    targets=${field[4]} tests=${field[5]}
    [[ -n "$only" && "$name" != *"$only"* ]] && continue
    total=$((total + 1))
    files=${file// ++ / }
    # shellcheck disable=SC2086
    if ! git diff --quiet -- $files; then
        echo "skipped  $name: $file has uncommitted changes"
        failed=$((failed + 1))
        continue
    fi
    if ! ctest --test-dir "$build" -N -R "$tests" -E NOT_BUILT | grep -q "Total Tests: [1-9]"; then
        echo "broken   $name: no test matches $tests"
        failed=$((failed + 1))
        continue
    fi
    if ! python3 - "$file" "$text" "$replacement" <<'PY'
import sys
paths, texts, replacements = (a.replace("\\n", "\n").split(" ++ ") for a in sys.argv[1:4])
if not len(paths) == len(texts) == len(replacements):
    sys.exit(1)
edited = {}
for path, text, replacement in zip(paths, texts, replacements):
    source = edited.get(path) or open(path, encoding="utf-8").read()
    if source.count(text) != 1:
        sys.exit(1)
    edited[path] = source.replace(text, replacement)
for path, source in edited.items():
    open(path, "w", encoding="utf-8").write(source)
PY
    then
        echo "broken   $name: the text is not in $file exactly once"
        failed=$((failed + 1))
        continue
    fi
    restore=$files
    # shellcheck disable=SC2086
    if ! cmake --build "$build" --target $targets >"$build/mutation.log" 2>&1; then
        verdict=caught # the fault does not even compile
    elif grep -q "no work to do" "$build/mutation.log"; then
        verdict=broken # the targets do not contain the changed file
    elif ctest --test-dir "$build" -R "$tests" -E NOT_BUILT --timeout 300 >>"$build/mutation.log" 2>&1; then
        verdict=MISSED
    else
        verdict=caught
    fi
    # shellcheck disable=SC2086
    git checkout -q -- $files
    restore=""
    [[ $verdict == caught ]] && caught=$((caught + 1))
    [[ $verdict == broken ]] && failed=$((failed + 1))
    printf '%-7s  %s\n' "$verdict" "$name"
done <<<"$faults"

# Leave the binaries built from the untouched sources.
cmake --build "$build" >/dev/null 2>&1
echo "$total faults, $caught caught"
[[ $caught -eq $total && $failed -eq 0 ]]
