// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the main window in representative states to PNG files, to be looked at:
//   quaymark_screenshots [FOLDER]     (default: screenshots/ in the build folder)
// Offscreen with the software renderer; real folders in a temporary home, and hand-fed jobs
// for the batches, so that every picture shows the same state each time.

#include "ScreenHarness.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "app/core/PathText.h"
#include "app/downloads/ProjectStore.h"
#include "app/ui/QuayTheme.h"

#include <QApplication>
#include <QDir>
#include <QQmlProperty>

#include <cstdio>

namespace quaymark {
namespace {

namespace fs = std::filesystem;
using test::text;

ImportProgress progressOf(ImportPhase phase, std::int64_t done, std::int64_t total,
                          std::int64_t verified, std::int64_t files, const char* file) {
    ImportProgress progress;
    progress.phase = phase;
    progress.totalBytes = total;
    progress.copiedBytes = phase == ImportPhase::copying ? done : total;
    progress.verifiedBytes = phase == ImportPhase::verifying ? done : 0;
    progress.totalFiles = files;
    progress.verifiedFiles = verified;
    progress.currentFile = file;
    return progress;
}

// A job fed a minute of uneven progress, as the engine would report it.
void feed(DestinationJob& job, ImportPhase phase, double rate, const char* file) {
    const auto start = std::chrono::steady_clock::now();
    job.start(start);
    std::int64_t done = 0;
    for (int step = 1; step <= 40; ++step) {
        done += static_cast<std::int64_t>(rate * (0.7 + 0.3 * ((step * 7) % 5) / 4.0) * 0.3);
        job.accept(progressOf(phase, done, 96'000'000'000, step * 2, 412, file),
                   start + std::chrono::milliseconds(300 * step));
    }
}

QVariantMap linkIn(LinkState state, const char* title, double fraction, double speed,
                   const char* speedText, const char* error = "") {
    static int number = 0;
    ++number;
    VideoLink record;
    record.state = state;
    record.fraction = fraction;
    return {{QStringLiteral("id"), QStringLiteral("LINK-%1").arg(number)},
            {QStringLiteral("url"),
             QStringLiteral("https://www.youtube.com/watch?v=b-roll-%1").arg(number)},
            {QStringLiteral("title"), QString::fromUtf8(title)},
            {QStringLiteral("state"), static_cast<int>(state)},
            {QStringLiteral("stateText"), shownState(record)},
            {QStringLiteral("fraction"), fraction},
            {QStringLiteral("speed"), speed},
            {QStringLiteral("speedText"), QString::fromUtf8(speedText)},
            {QStringLiteral("output"),
             fraction >= 1 ? QStringLiteral("/media/ssd/Harbour.mkv") : QString()},
            {QStringLiteral("error"), QString::fromUtf8(error)}};
}

// A download model with two projects from a projects file, its link rows then hand-fed so that
// every link state is in one picture (a start pauses the active ones).
std::unique_ptr<DownloadModel> filledDownloads(const fs::path& home, FolderPicker* picker) {
    const QVariantList links{
        linkIn(LinkState::Downloaded, "Harbour at dawn, drone pass", 1, 0, ""),
        linkIn(LinkState::Downloading, "Fish market interviews (raw)", 0.42, 8'400'000, "8.4 MB/s"),
        linkIn(LinkState::Merging, "Night ferry crossing", 0.98, 0, ""),
        linkIn(LinkState::Converting, "Net mending, close-ups", 0.42, 0, ""),
        linkIn(LinkState::Queued, "Waiting for video details", 0, 0, ""),
        linkIn(LinkState::Paused, "Lighthouse time-lapse", 0.18, 0, ""),
        linkIn(LinkState::Failed, "Private rehearsal", 0, 0, "",
               "ERROR: [youtube] b-roll-6: Private video. Sign in if you've been granted access "
               "to this video"),
    };
    VideoProject harbour;
    harbour.name = QStringLiteral("Harbour documentary");
    harbour.destination.emplace(SavedLocation{QStringLiteral("/media/ssd/Research"), {}});
    harbour.directoryName = QStringLiteral("Harbour documentary_8C1F20AB");
    harbour.options.preset = DownloadPreset::Editor1080;
    harbour.options.subtitleLanguages = QStringLiteral("en.*,de");
    harbour.options.chapters = true;
    harbour.collections.append({QStringLiteral("https://www.youtube.com/@harbourfilms/videos"),
                                QStringLiteral("Harbour Films - Videos"),
                                {QStringLiteral("b-roll-1")}});
    for (const QVariant& row : links) {
        VideoLink link;
        link.state =
            row.toMap()[QStringLiteral("state")].toInt() == static_cast<int>(LinkState::Downloaded)
                ? LinkState::Downloaded
                : LinkState::Paused;
        harbour.links.append(link);
    }
    VideoProject market;
    market.name = QStringLiteral("Market B-roll");
    ProjectStore(text(home / "data")).save({harbour, market});
    auto model = test::makeDownloadModel(home, picker);
    model->links()->set(links);
    model->setLinkText(QStringLiteral("https://vimeo.com/76979871"));
    return model;
}

class Studio {
public:
    explicit Studio(QString folder)
        : folder_(std::move(folder)) {
        QDir().mkpath(folder_);
        model_ = test::makeAppModel(home_.path(), &actions_);
        model_->setFolderRule(QStringLiteral("{date}/{camera}_{time}"));
        model_->setVideosOnly(false);
        test::settle();
        screen_ = std::make_unique<test::MainWindowHarness>(*model_, actions_);
    }

    ~Studio() {
        screen_.reset();
        model_.reset();
        test::settle();
    }

    bool ready() const { return screen_->window() != nullptr; }

    void shoot(const char* name) {
        test::settle();
        screen_->render();
        const QString file = folder_ + u'/' + QString::fromLatin1(name) + u".png";
        const bool saved = screen_->window()->grabWindow().save(file);
        std::printf("%s %s\n", saved ? "wrote" : "FAILED", file.toLocal8Bit().constData());
        ok_ = ok_ && saved;
    }

    void chooseFolders() {
        const fs::path card = home_ / "EOS_DIGITAL";
        fs::create_directories(card / "DCIM/100CANON");
        fs::create_directories(card / "MISC");
        for (int i = 1; i <= 6; ++i) {
            test::writeFile(card / ("C000" + std::to_string(i) + ".MP4"),
                            std::string(static_cast<size_t>(120'000 * i), 'v'));
        }
        test::writeFile(card / "THUMBS.XML", "<thumbs/>");
        fs::create_symlink(card / "DCIM", card / "latest");
        for (const char* name : {"Footage SSD", "Backup NAS", "Offsite"}) {
            fs::create_directories(home_ / name / "2026-03-01");
        }
        model_->setSource(text(card));
        model_->chooseTarget(false, text(home_ / "Footage SSD"));
        model_->chooseTarget(true, text(home_ / "Backup NAS"));
        model_->chooseTarget(true, text(home_ / "Offsite"));
    }

    // Shows hand-fed batches in the activity list instead of the model's queue.
    void showBatches(const QList<ImportBatch*>& batches) {
        QVariantList list;
        for (ImportBatch* batch : batches) {
            list.append(QVariant::fromValue(batch));
        }
        QQmlProperty::write(screen_->find<QObject>("transferSection"), QStringLiteral("batches"),
                            list);
    }

    ImportBatch* importing() {
        auto* batch = new ImportBatch(text(home_ / "EOS_DIGITAL"), false, {}, model_.get());
        batch->setState(ImportBatch::State::Importing);
        const char* targets[] = {"Footage SSD", "Backup NAS"};
        for (const char* target : targets) {
            batch->addJob(new DestinationJob(text(home_ / target), std::nullopt));
        }
        feed(*batch->jobs()[0], ImportPhase::copying, 412e6, "DCIM/100CANON/C0004.MP4");
        feed(*batch->jobs()[1], ImportPhase::verifying, 181e6, "C0002.MP4");
        return batch;
    }

    ImportBatch* verified() {
        auto* batch = new ImportBatch(text(home_ / "A7S_CARD"), true, {}, model_.get());
        auto* job = new DestinationJob(text(home_ / "Footage SSD"), std::nullopt);
        batch->addJob(job);
        job->succeed(ImportResult{pathOf(text(home_ / "Footage SSD/2026-03-01/A7S_0930")), 1204,
                                  182'500'000'000, 1433.6});
        batch->setState(ImportBatch::State::Verified);
        batch->setCardState(QStringLiteral("Safe to format: 2 verified copies on 2 drives"), true);
        return batch;
    }

    ImportBatch* failed() {
        auto* batch = new ImportBatch(text(home_ / "FX6_B"), false, {}, model_.get());
        auto* good = new DestinationJob(text(home_ / "Footage SSD"), std::nullopt);
        auto* bad = new DestinationJob(text(home_ / "Offsite"), std::nullopt);
        batch->addJob(good);
        batch->addJob(bad);
        good->succeed(ImportResult{pathOf(text(home_ / "Footage SSD/2026-03-01/FX6_1010")), 1,
                                   48'000'000, 3.2});
        bad->accept(progressOf(ImportPhase::copying, 30'000'000, 48'000'000, 0, 1, "C0001.MP4"),
                    std::chrono::steady_clock::now());
        bad->fail(QStringLiteral("Not enough free space on Offsite: 1.2 GB needed, 0.4 GB free."),
                  false);
        batch->setState(ImportBatch::State::NeedsAttention);
        batch->setCardState(QStringLiteral("1 verified copy: one more drive needed"), false);
        return batch;
    }

    void run() {
        shoot("01-empty");
        chooseFolders();
        shoot("02-chosen");
        model_->setVideosOnly(true);
        shoot("03-video-only");
        model_->setVideosOnly(false);

        showBatches({importing()});
        shoot("04-importing");
        model_->rememberRecovery(text(home_ / "Offsite/2026-02-28/FX6_1744"));
        showBatches({failed(), verified()});
        shoot("05-finished");

        folderDialog();

        model_->setMessage(QStringLiteral("This source is already in the import queue."));
        shoot("07-status-alert");
        model_->setMessage({});

        QMetaObject::invokeMethod(screen_->find<QObject>("quitAlert"), "open");
        shoot("08-quit-alert");
        QMetaObject::invokeMethod(screen_->find<QObject>("quitAlert"), "close");

        // The smallest window the user can make, with a running batch first.
        showBatches({importing(), failed(), verified()});
        screen_->window()->resize(1200, 900);
        shoot("09-minimum-size");
        // A 1366 x 768 laptop or a 1080p screen at 125 %: the window made smaller still.
        screen_->window()->setMinimumSize(QSize(1024, 700));
        screen_->window()->resize(1024, 700);
        shoot("13-small-1024x700");
        screen_->find("startButton")->forceActiveFocus(Qt::TabFocusReason);
        shoot("13b-small-focus");

        // The desktop's text at 150 %.
        QFont font = QGuiApplication::font();
        const QFont normal = font;
        font.setPointSizeF(font.pointSizeF() * 1.5);
        QGuiApplication::setFont(font);
        screen_->window()->resize(1340, 1000);
        shoot("14-text-150");
        screen_->window()->resize(1024, 700);
        shoot("14b-text-150-small");
        model_->pickSource();
        shoot("14c-text-150-dialog");
        QMetaObject::invokeMethod(screen_->find<QObject>("folderDialog"), "reject");
        QGuiApplication::setFont(normal);
        screen_->window()->resize(1340, 1000);
    }

    // The chooser, a running two-destination batch and the settings sheet at the sizes users
    // have: a small laptop, the same at 150 % text, a 1080p screen.
    void sizes() {
        screen_->find<QObject>("contentView")->setProperty("section", QStringLiteral("ingest"));
        // A real import first, so that the catalog knows the card.
        model_->startImport();
        ok_ = ok_ &&
              QTest::qWaitFor([&] { return !model_->queue()->batches().isEmpty(); }, 30'000) &&
              QTest::qWaitFor([&] { return !model_->queue()->processing(); }, 60'000) &&
              QTest::qWaitFor(
                  [&] { return model_->memory()->kind() == QLatin1String("alreadyImported"); },
                  30'000);
        ImportBatch* real = model_->queue()->batches().value(0);
        ok_ = ok_ && real && QTest::qWaitFor([&] { return !real->reportFile().isEmpty(); }, 60'000);
        model_->library()->setQuery(QStringLiteral("C000"));
        model_->library()->search();
        ok_ = ok_ && QTest::qWaitFor([&] { return model_->library()->count() > 0; }, 30'000);
        showBatches({importing()});
        QFont font = QGuiApplication::font();
        const QFont normal = font;
        const struct {
            const char* name;
            QSize size;
            double text;
        } screens[] = {{"1024x700", {1024, 700}, 1.0},
                       {"1366x768-150", {1366, 768}, 1.5},
                       {"1920x1080", {1920, 1080}, 1.0}};
        for (const auto& each : screens) {
            font.setPointSizeF(normal.pointSizeF() * each.text);
            QGuiApplication::setFont(font);
            screen_->window()->setMinimumSize(QSize(800, 600));
            screen_->window()->resize(each.size);
            QMetaObject::invokeMethod(screen_->find<QObject>("importScreen"), "showActivity");
            showBatches({real});
            shoot((std::string("27-report-") + each.name).c_str());
            showBatches({importing()});
            shoot((std::string("20-batch-") + each.name).c_str());
            model_->startImport();
            shoot((std::string("25-import-again-") + each.name).c_str());
            model_->answerConfirmation(false);
            model_->pickSource();
            QMetaObject::invokeMethod(screen_->find<QObject>("folderDialog"), "openFolder",
                                      Q_ARG(QVariant, text(home_.path())));
            shoot((std::string("21-chooser-") + each.name).c_str());
            QMetaObject::invokeMethod(screen_->find<QObject>("folderDialog"), "reject");
            model_->setShowSettings(true);
            shoot((std::string("22-settings-") + each.name).c_str());
            // The report's heading fields, further down the sheet.
            auto* flick =
                screen_->find<QObject>("settingsScroll")->property("contentItem").value<QObject*>();
            flick->setProperty("contentY", 560);
            shoot((std::string("22b-settings-report-") + each.name).c_str());
            flick->setProperty("contentY", flick->property("contentHeight").toDouble() -
                                               flick->property("height").toDouble());
            shoot((std::string("22c-settings-video-") + each.name).c_str());
            flick->setProperty("contentY", 0);
            model_->setShowSettings(false);
            model_->setMessage(QStringLiteral("This source is already in the import queue."));
            shoot((std::string("23-alert-") + each.name).c_str());
            model_->setMessage({});
            auto* content = screen_->find<QObject>("contentView");
            content->setProperty("section", QStringLiteral("downloads"));
            shoot((std::string("24-downloads-") + each.name).c_str());
            auto* more = screen_->find<QObject>("moreOptionsButton");
            more->setProperty("checked", true);
            shoot((std::string("24b-downloads-options-") + each.name).c_str());
            more->setProperty("checked", false);
            content->setProperty("section", QStringLiteral("library"));
            shoot((std::string("26-library-") + each.name).c_str());
            content->setProperty("section", QStringLiteral("ingest"));
        }
        QGuiApplication::setFont(normal);
    }

    // The folder dialog browsing, typing a path, and making a new folder.
    void folderDialog() {
        auto* dialog = screen_->find<QObject>("folderDialog");
        model_->pickSource();
        QMetaObject::invokeMethod(dialog, "openFolder",
                                  Q_ARG(QVariant, text(home_ / "EOS_DIGITAL")));
        shoot("06-folder-dialog");
        model_->pickTarget(true);
        QMetaObject::invokeMethod(dialog, "reject");
        model_->pickTarget(true);
        dialog->setProperty("picked", 1);
        QMetaObject::invokeMethod(dialog, "startTyping");
        shoot("06b-folder-dialog-typing");
        screen_->find("newFolderButton")->setProperty("focus", true);
        QMetaObject::invokeMethod(screen_->find<QObject>("newFolderButton"), "clicked");
        QMetaObject::invokeMethod(dialog, "createFolder");
        shoot("06c-folder-dialog-new-folder");
        QMetaObject::invokeMethod(dialog, "reject");
    }

    void downloads() {
        QMetaObject::invokeMethod(screen_->find<QObject>("quitAlert"), "close");
        model_->setEnrolled({{QStringLiteral("0A1B-2C3D"), QStringLiteral("A7S_CARD")},
                             {QStringLiteral("5E6F-7A8B"), QString()}});
        model_->setShowSettings(true);
        shoot("09-settings");
        model_->setShowSettings(false);

        screen_->find<QObject>("contentView")->setProperty("section", QStringLiteral("downloads"));
        shoot("10-downloads-empty");
        filled_ = filledDownloads(home_ / "downloads", &actions_);
        const bool shown =
            QQmlProperty::write(screen_->find<QObject>("downloadsView"),
                                QStringLiteral("downloads"), QVariant::fromValue(filled_.get()));
        ok_ = ok_ && shown;
        shoot("11-downloads-links");
    }

    bool ok() const { return ok_; }

private:
    QString folder_;
    test::TempDir home_;
    ShellActions actions_;
    std::unique_ptr<AppModel> model_;
    // The downloads shown last; the window goes first.
    std::unique_ptr<DownloadModel> filled_;
    std::unique_ptr<test::MainWindowHarness> screen_;
    bool ok_ = true;
};

} // namespace
} // namespace quaymark

int main(int argc, char** argv) {
    quaymark::test::isolateHome();
    quaymark::test::useOffscreenScreen();
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    QApplication application(argc, argv);
    quaymark::applyDarkAppearance();
    const QString folder =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(QUAYMARK_SCREENSHOTS);
    quaymark::Studio studio(folder);
    if (!studio.ready()) {
        std::fprintf(stderr, "the main window could not be created\n");
        return 1;
    }
    studio.run();
    studio.downloads();
    studio.sizes();
    return studio.ok() ? 0 : 1;
}
