// SPDX-License-Identifier: GPL-3.0-or-later
// The main window over real models: the folder panes, destinations, recovery, the settings
// sheet, the transfer activity and the downloads area.
#include "MainWindowFixture.h"
#include "QtPrinting.h"

#include <QAccessible>
#include <QQmlProperty>
#include <QSignalSpy>

namespace quaymark {
namespace {

namespace fs = std::filesystem;
using test::click;
using test::find;
using test::text;
using test::textOf;

using MainWindowScreenTest = test::MainWindowTest;

TEST_F(MainWindowScreenTest, LinksAreNeverOpenedAndFoldersOpenOnDoubleClick) {
    fs::create_directories(home / "CARD/DCIM");
    fs::create_symlink(home / "CARD/DCIM", home / "CARD/shortcut");
    model->setSource(text(home / "CARD"));
    ASSERT_TRUE(test::settle());
    screen->render();

    const auto openRow = [&](const char* symbol) {
        for (auto* icon : test::findAll(item("sourcePane"), "entryIcon")) {
            if (icon->property("name").toString() == QLatin1String(symbol)) {
                test::doubleClick(icon->parentItem());
                break;
            }
        }
        ASSERT_TRUE(test::settle());
    };
    openRow("link");
    EXPECT_EQ(model->source(), text(home / "CARD")) << "a link to a folder is not opened";
    openRow("folder.fill");
    EXPECT_EQ(model->source(), text(home / "CARD/DCIM"));
}

TEST_F(MainWindowScreenTest, RemovingTheMainDestinationRenumbersTheBackups) {
    for (const char* name : {"A", "B", "C"}) {
        fs::create_directories(home / name);
        model->chooseTarget(!model->targets().isEmpty(), text(home / name));
        ASSERT_TRUE(test::settle());
    }
    screen->render();

    QQuickItem* firstRemove = nullptr;
    for (auto* button : test::findAll(item("destinationCards"), "removeDestination")) {
        if (!firstRemove || button->mapToScene({0, 0}).x() < firstRemove->mapToScene({0, 0}).x()) {
            firstRemove = button;
        }
    }
    click(firstRemove);
    ASSERT_TRUE(test::settle());
    screen->render();
    EXPECT_EQ(model->targets(), (QStringList{text(home / "B"), text(home / "C")}));
    EXPECT_EQ(textOf(find(item("targetPane"), "heading")), u"B") << "the backup is now main";
}

// The dialog's folders take most of its width at any window size, open with the mouse, and a
// typed path is what "Choose folder" takes.
TEST_F(MainWindowScreenTest, TheFolderDialogListsFoldersWideAndChoosesATypedPath) {
    fs::create_directories(home / "CARD/DCIM");
    fs::create_directories(home / "RAID/Day 2");
    auto* dialog = screen->find<QObject>("folderDialog");
    for (const QSize size : {screen->window()->size(), QSize(1024, 700)}) {
        screen->window()->resize(size);
        model->pickSource();
        ASSERT_TRUE(dialogOpen());
        QMetaObject::invokeMethod(dialog, "openFolder", Q_ARG(QVariant, text(home.path())));
        // The rows of the test's folder, not those of the folder shown before.
        ASSERT_TRUE(test::waitFor([&] {
            screen->render();
            const auto rows = test::findAll(item("chooserList"), "chooserRow");
            return !rows.isEmpty() &&
                   rows.first()->property("filePath").toString() == text(home / "CARD");
        }));
        QQuickItem* list = item("chooserList");
        EXPECT_GE(list->width(), dialog->property("width").toDouble() / 2) << size.width();
        QQuickItem* card = test::findAll(list, "chooserRow").first();
        const QRectF shown = card->mapRectToItem(list, card->boundingRect());
        EXPECT_TRUE(shown.width() > 100 &&
                    QRectF(0, 0, list->width(), list->height()).contains(shown))
            << size.width();
        test::doubleClick(card);
        screen->render();
        EXPECT_EQ(dialog->property("folder").toString(), text(home / "CARD"));
        QMetaObject::invokeMethod(dialog, "reject");
        ASSERT_TRUE(test::settle());
    }

    model->pickTarget(false);
    ASSERT_TRUE(dialogOpen());
    key(Qt::Key_L, Qt::ControlModifier);
    key(Qt::Key_A, Qt::ControlModifier);
    test::type(screen->window(), text(home / "RAID/Day 2"));
    click(item("chooserAccept"));
    ASSERT_TRUE(test::settle());
    EXPECT_EQ(model->primaryTarget(), text(home / "RAID/Day 2")) << "not the folder shown";
}

TEST_F(MainWindowScreenTest, RecoveryMenuCountsTheInterruptedImports) {
    model->rememberRecovery(text(home / "MAIN/2026-01-02/FX6_1010"));
    ASSERT_TRUE(test::settle());
    screen->render();
    EXPECT_EQ(textOf(item("recoveryMenuButton")), u"1 interrupted import available to recover");
    model->rememberRecovery(text(home / "BACKUP/2026-01-02/FX6_1010 2"));
    ASSERT_TRUE(test::settle());
    screen->render();
    EXPECT_EQ(textOf(item("recoveryMenuButton")), u"2 interrupted imports available to recover");

    // Any other interrupted import is found through the folder dialog.
    QSignalSpy requests(&actions, &ShellActions::folderRequested);
    click(item("recoverButton"));
    ASSERT_EQ(requests.count(), 1);
    EXPECT_EQ(requests[0][0].toString(),
              u"Choose an interrupted import folder containing _QUAYMARK_SESSION.json");
    QMetaObject::invokeMethod(screen->find<QObject>("folderDialog"), "reject");
}

TEST_F(MainWindowScreenTest, SettingsTakeWhatIsTypedAndTheCameraOverrideNeedsASource) {
    model->setShowSettings(true);
    screen->render();
    EXPECT_FALSE(item("cameraOverrideField")->isEnabled());
    const QString card = text(home / "CARD");
    fs::create_directories(home / "CARD");
    model->setCameraOverrides({{card, QStringLiteral("FX6 A-cam")}});
    model->setSource(card);
    ASSERT_TRUE(test::settle());
    screen->render();
    EXPECT_EQ(textOf(item("cameraOverrideField")), u"FX6 A-cam");
    typeInto("cameraOverrideField", QStringLiteral(" B"));
    EXPECT_EQ(model->cameraOverride(), u"FX6 A-cam B");

    click(item("folderRuleField"));
    key(Qt::Key_A, Qt::ControlModifier);
    test::type(screen->window(), QStringLiteral("{source}/{Date}"));
    screen->render();
    EXPECT_EQ(model->folderRule(), u"{source}/{Date}");
    EXPECT_EQ(textOf(item("namingPreview")), u"Preview: Invalid folder rule");
    // "Done" stays in sight with the settings scrolled to their end.
    auto* flick = item("settingsScroll")->property("contentItem").value<QQuickItem*>();
    ASSERT_NE(flick, nullptr);
    flick->setProperty("contentY", flick->property("contentHeight").toReal() - flick->height());
    screen->render();
    const QRectF window(QPointF(0, 0), screen->window()->size());
    QQuickItem* done = item("doneButton");
    EXPECT_TRUE(window.contains(done->mapRectToScene(done->boundingRect())));
    EXPECT_GT(flick->property("contentY").toReal(), 100) << "scrolled: longer than the window";
    key(Qt::Key_Return);
    EXPECT_FALSE(model->showSettings()) << "Return closes the sheet";
}

// A running two-destination batch on a small screen, and at large text: every row in the
// window at once, the speed whole, the folder written and the time left shown.
TEST_F(MainWindowScreenTest, ARunningBatchIsFollowedWholeOnSmallScreens) {
    auto* batch = new ImportBatch(text(home / "FX3"), false, ImportOptions{}, model.get());
    const auto started = std::chrono::steady_clock::now();
    for (const char* target : {"MAIN", "BACKUP"}) {
        auto* job = new DestinationJob(text(home / target), std::nullopt);
        batch->addJob(job);
        job->start(started);
        ImportProgress progress{ImportPhase::copying,
                                100'000'000'000,
                                0,
                                0,
                                412,
                                0,
                                "C0001.MP4",
                                home / target / "2026-12-07/Sony ILME-FX3_004924"};
        for (int second = 1; second <= 7; second += 6) {
            progress.copiedBytes = second * 2'000'000'000LL;
            job->accept(progress, started + std::chrono::seconds(second));
        }
    }
    batch->setState(ImportBatch::State::Importing);
    QQmlProperty::write(screen->find<QObject>("transferSection"), QStringLiteral("batches"),
                        QVariantList{QVariant::fromValue(batch)});
    EXPECT_EQ(textOf(item("batchFolder")), u"2026-12-07/Sony ILME-FX3_004924");
    EXPECT_EQ(textOf(item("batchTimeLeft")), u"About 2 min left");
    // Screen readers hear every bar as a progress bar with its value.
    const auto tracks = test::findAll(screen->window(), "progressTrack");
    ASSERT_EQ(tracks.size(), 2);
    for (QQuickItem* track : tracks) {
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(track);
        ASSERT_NE(spoken, nullptr);
        EXPECT_EQ(spoken->role(), QAccessible::ProgressBar);
        EXPECT_TRUE(spoken->text(QAccessible::Name).startsWith(u"Progress to "));
        EXPECT_EQ(spoken->text(QAccessible::Description), u"7 %");
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(item("batchProgress"))->role(),
              QAccessible::ProgressBar);

    const QFont normal = QGuiApplication::font();
    for (const auto& [size, points] :
         {std::pair(QSize(1024, 700), normal.pointSizeF()), std::pair(QSize(1366, 768), 14.0)}) {
        QFont font = normal;
        font.setPointSizeF(points);
        QGuiApplication::setFont(font);
        screen->window()->resize(size);
        ASSERT_TRUE(test::settle());
        screen->render();
        const QRectF window(QPointF(0, 0), screen->window()->size());
        for (QQuickItem* row : test::findAll(screen->window(), "transferRow")) {
            EXPECT_TRUE(window.contains(row->mapRectToScene(row->boundingRect())))
                << size.width() << " at " << points << " pt";
            QQuickItem* speed = find(row, "speedText");
            EXPECT_GE(speed->width(), speed->implicitWidth());
            EXPECT_TRUE(row->mapRectToScene(row->boundingRect())
                            .contains(speed->mapRectToScene(speed->boundingRect())));
        }
    }
    QGuiApplication::setFont(normal);
}

// The preview follows the clock, and folders inside one another cannot be started.
TEST_F(MainWindowScreenTest, StartSaysWhyNotAndThePreviewIsTheFolderAStartWouldMake) {
    fs::create_directories(home / "CARD/MAIN");
    model->chooseTarget(false, text(home / "CARD/MAIN"));
    model->setSource(text(home / "CARD"));
    model->setFolderRule(QStringLiteral("{time}"));
    ASSERT_TRUE(test::settle());
    screen->render();
    EXPECT_FALSE(item("startButton")->isEnabled());
    EXPECT_EQ(textOf(item("startProblem")), u"The destination “MAIN” lies inside the source. "
                                            u"Choose a destination on another drive or folder.");
    model->setSource(text(home / "CARD/MAIN/DCIM"));
    EXPECT_EQ(textOf(item("startProblem")), u"The source lies inside the destination “MAIN”. "
                                            u"Choose the card or folder itself as the source.");

    const QString before = textOf(item("namingLine"));
    ASSERT_TRUE(test::waitFor([&] { return textOf(item("namingLine")) != before; }));
    EXPECT_EQ(textOf(item("namingLine")), u"Unknown Camera · " + model->namingPreview());
}

// A disabled button looks disabled, and the first click after an alert closed with Return
// reaches its control.
TEST_F(MainWindowScreenTest, ControlsShowTheirStateAndTakeTheFirstClickAfterAnAlert) {
    QQuickItem* enroll = item("enrollButton");
    const auto picture = [&] {
        screen->render();
        return enroll->window()->grabWindow().copy(
            enroll->mapRectToScene(enroll->boundingRect()).toRect());
    };
    const QImage disabled = picture();
    fs::create_directories(home / "CARD");
    model->setSource(text(home / "CARD"));
    ASSERT_TRUE(enroll->isEnabled());
    EXPECT_NE(picture(), disabled);

    model->setMessage(QStringLiteral("This source is already in the import queue."));
    screen->render();
    key(Qt::Key_Return);
    ASSERT_TRUE(test::waitFor([&] { return model->message().isEmpty(); }));
    screen->render();
    click(item("addBackupButton"));
    EXPECT_TRUE(actions.folderPending()) << "the click was lost";
}

// Hand-fed jobs in each state, shown in the activity list in place of the queue's batches.
TEST_F(MainWindowScreenTest, TransferRowsFollowTheirJobsState) {
    // Owned by the model, so that it outlives the window.
    auto* batch = new ImportBatch(text(home / "EOS_DIGITAL"), true, ImportOptions{}, model.get());
    const auto addJob = [&](const char* target) {
        auto* job = new DestinationJob(text(home / target), std::nullopt);
        batch->addJob(job);
        return job;
    };
    DestinationJob* verified = addJob("MAIN");
    verified->succeed(ImportResult{"/srv/MAIN/2026-01-02/EOS", 1, 2'100'000'000, 1433.9});
    DestinationJob* both = addJob("BOTH");
    both->succeed(ImportResult{"/srv/BOTH/x", 0, 0, 0.4});
    both->fail(QStringLiteral("The receipt could not be written."), false);
    addJob("FAILED")->fail(QStringLiteral("No space left on device"), false);
    DestinationJob* waiting = addJob("WAITING");
    batch->setState(ImportBatch::State::Importing);
    QQmlProperty::write(screen->find<QObject>("transferSection"), QStringLiteral("batches"),
                        QVariantList{QVariant::fromValue(batch)});
    screen->window()->resize(1400, 2000); // room for every row
    screen->render();
    QList<QQuickItem*> rows = test::findAll(screen->window(), "transferRow");
    std::sort(rows.begin(), rows.end(), [](QQuickItem* a, QQuickItem* b) {
        return a->mapToScene({0, 0}).y() < b->mapToScene({0, 0}).y();
    });
    ASSERT_EQ(rows.size(), 4);
    // The named item of a row, where it shows.
    const auto inRow = [&](int index, const char* name) -> QQuickItem* {
        QQuickItem* found = find(rows[index], name);
        return found && found->isVisible() ? found : nullptr;
    };

    EXPECT_NE(inRow(0, "revealButton"), nullptr);
    // Both a result and an error: Reveal, and the error in place of the result.
    EXPECT_NE(inRow(1, "revealButton"), nullptr);
    EXPECT_EQ(inRow(1, "verifiedDetail"), nullptr);
    EXPECT_EQ(textOf(inRow(1, "errorText")), u"The receipt could not be written.");

    click(inRow(2, "retryButton"));
    ASSERT_EQ(model->queue()->batches().size(), 1);
    EXPECT_EQ(model->queue()->batches()[0]->jobs()[0]->target(), text(home / "FAILED"));
    click(inRow(3, "cancelJobButton"));
    EXPECT_TRUE(waiting->cancellation()->isCancelled());
    EXPECT_FALSE(verified->cancellation()->isCancelled()) << "only this destination";

    // The whole batch can be cancelled while it is importing, and no longer once it ended.
    auto* cancel = item("cancelBatchButton");
    click(cancel);
    EXPECT_TRUE(verified->cancellation()->isCancelled()) << "every destination";
    batch->setState(ImportBatch::State::NeedsAttention);
    EXPECT_FALSE(cancel->isVisible());
    ASSERT_TRUE(test::waitFor([&] { return !model->queue()->processing(); }));
}

TEST_F(MainWindowScreenTest, ADownloadProjectIsCreatedFilledAndGivenAFolder) {
    showSection("downloads");
    typeInto("newProjectField", QStringLiteral("Harbour"));
    key(Qt::Key_Return);
    ASSERT_EQ(downloads->projects().size(), 1);
    EXPECT_EQ(downloads->projects()[0].name, u"Harbour");
    EXPECT_EQ(textOf(item("projectFolder")), u"Choose where this project should be saved");

    item("linkBox")->setProperty("text", QStringLiteral("https://videos.example/a\n"
                                                        "ftp://videos.example/b\n"
                                                        "https://videos.example/a\n"
                                                        "https://videos.example/c"));
    click(item("addLinksButton"));
    screen->render();
    EXPECT_EQ(textOf(item("projectCount")), u"0/2 downloaded");
    EXPECT_EQ(test::findAll(screen->window(), "linkRow").size(), 2);
    auto* alert = screen->find<QObject>("downloadsAlert");
    EXPECT_TRUE(alert->property("visible").toBool());
    EXPECT_EQ(textOf(item("downloadsAlertText")),
              u"1 invalid link skipped. Paste one HTTP or HTTPS video link per line.");
    EXPECT_EQ(textOf(item("installToolsButton")), u"Install download tools");
    EXPECT_EQ(textOf(item("toolStatus")), u"Install download tools once to get started");
    EXPECT_EQ(textOf(item("linkState")), u"Needs download tools") << "never a green Ready";
}

TEST_F(MainWindowScreenTest, AProjectKeepsThePresetAndOptionsChosenOnScreen) {
    showSection("downloads");
    QMetaObject::invokeMethod(item("newPresetBox"), "activated", Q_ARG(int, 1));
    typeInto("newProjectField", QStringLiteral("Harbour"));
    key(Qt::Key_Return);
    ASSERT_EQ(downloads->projects().size(), 1);
    EXPECT_EQ(downloads->projects()[0].options.preset, DownloadPreset::Editor1080);
    screen->render();
    EXPECT_EQ(item("presetBox")->property("currentText").toString(),
              u"Editor: H.264 and AAC in MP4, up to 1080p");
    EXPECT_EQ(textOf(item("optionsNote")), u"No subtitles");

    click(item("moreOptionsButton"));
    typeInto("subtitleField", QStringLiteral("en.*,de"));
    key(Qt::Key_Return);
    EXPECT_EQ(downloads->projects()[0].options.subtitleLanguages, u"en.*,de");
    click(item("chaptersSwitch"));
    EXPECT_TRUE(downloads->projects()[0].options.chapters);
    EXPECT_EQ(textOf(item("optionsNote")), u"Subtitles en.*,de in the file · chapters");

    click(item("videoSettingsButton"));
    ASSERT_TRUE(model->showSettings());
    screen->render();
    // Opened at Video projects: its cookie choice is inside the window.
    QQuickItem* cookies = item("cookieSourceBox");
    const QPointF at = cookies->mapToScene({0, 0});
    EXPECT_GE(at.y(), 0);
    EXPECT_LE(at.y() + cookies->height(), screen->window()->height());
    QMetaObject::invokeMethod(item("cookieSourceBox"), "activated", Q_ARG(int, 3));
    EXPECT_EQ(downloads->settings()->cookieSource(), u"browser");
    EXPECT_EQ(downloads->settings()->browser(), u"chromium");
    screen->render();
    EXPECT_TRUE(item("keyringBox")->isVisible());
    QMetaObject::invokeMethod(item("keyringBox"), "activated", Q_ARG(int, 2));
    EXPECT_EQ(downloads->settings()->cookies().keyring, u"kwallet");
}

} // namespace
} // namespace quaymark
