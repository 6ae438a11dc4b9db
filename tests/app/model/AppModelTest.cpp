// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/AppModel.h"

#include "AnsweringPicker.h"
#include "ChildProcess.h"
#include "QtPaths.h"
#include "QtPrinting.h"
#include "QtWaiting.h"
#include "TestFiles.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace quaymark {
namespace {

namespace fs = std::filesystem;

using test::text;

using test::AnsweringPicker;

class AppModelTest : public ::testing::Test {
protected:
    test::TempDir home;
    AnsweringPicker picker;
    QString preferences = text(home / "Quaymark.conf");

    std::unique_ptr<AppModel> makeModel() {
        AppModel::Setup setup;
        setup.preferences = std::make_unique<PreferenceStore>(preferences);
        setup.folderPicker = &picker;
        auto model = std::make_unique<AppModel>(std::move(setup));
        settle();
        return model;
    }

    static void settle() { ASSERT_TRUE(test::settle()); }
};

TEST_F(AppModelTest, CameraOverrideIsKeptPerCardAndFallsBackToTheDetectedName) {
    const auto model = makeModel();
    fs::create_directories(home / "CARD1");
    fs::create_directories(home / "CARD2");
    model->setSource(text(home / "CARD1"));
    settle();
    // These folders lie on a volume without a UUID here: the key is the path.
    ASSERT_EQ(model->cameraKey(), text(home / "CARD1"));
    QSignalSpy cameraChanges(model.get(), &AppModel::cameraChanged);
    model->setCameraOverride(QStringLiteral(" FX6 A "));
    EXPECT_EQ(cameraChanges.count(), 1) << "views bound to the camera name see the override";
    EXPECT_EQ(model->effectiveCamera(), u" FX6 A ") << "stored as typed";

    model->setSource(text(home / "CARD2"));
    settle();
    EXPECT_EQ(model->cameraOverride(), QString());
    EXPECT_EQ(model->effectiveCamera(), u"Unknown Camera");

    model->setSource(text(home / "CARD1"));
    settle();
    EXPECT_EQ(model->effectiveCamera(), u" FX6 A ");
    model->setCameraOverride(QString());
    EXPECT_EQ(model->effectiveCamera(), u"Unknown Camera");
}

TEST_F(AppModelTest, LaterSourceWinsItsListingAndItsCameraName) {
    const fs::path withClip = home / "A";
    fs::create_directories(withClip);
    const auto made = test::runProcess(
        {"/usr/bin/ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i",
         "color=c=black:s=64x64:d=0.1", "-movflags", "use_metadata_tags", "-metadata",
         "com.apple.quicktime.make=Sony", "-metadata", "com.apple.quicktime.model=ILCE-7SM3",
         (withClip / "C0001.MOV").string()});
    if (made.status != 0) {
        GTEST_SKIP() << "ffmpeg cannot make a clip here: " << made.errors;
    }
    test::writeFile(home / "B/other.MP4", "not a clip with metadata");

    const auto model = makeModel();
    model->setSource(text(withClip));
    settle();
    EXPECT_EQ(model->cameraName(), u"Sony ILCE-7SM3");

    model->setSource(text(withClip));
    model->setSource(text(home / "B"));
    settle();
    EXPECT_EQ(model->cameraName(), u"Unknown Camera") << "A's late result never lands";
    const auto& listed = model->sourceBrowser()->entries()->entries();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(listed[0].path, text(home / "B/other.MP4"));
    EXPECT_FALSE(model->sourceBrowser()->loading());
}

TEST_F(AppModelTest, DestinationsRefuseDuplicatesEvenThroughLinks) {
    fs::create_directories(home / "main/sub");
    fs::create_directories(home / "backup");
    fs::create_symlink(home / "main", home / "main-link");
    const auto model = makeModel();

    picker.answer = text(home / "main");
    model->pickTarget(false);
    picker.answer = text(home / "backup");
    model->pickTarget(true);
    settle();
    EXPECT_EQ(model->targets(), (QStringList{text(home / "main"), text(home / "backup")}));

    model->chooseTarget(true, text(home / "main-link"));
    settle();
    EXPECT_EQ(model->message(), u"That folder is already a destination.");
    model->setMessage({});
    model->chooseTarget(false, text(home / "main-link"));
    settle();
    EXPECT_EQ(model->message(), QString()) << "the main destination may replace itself";
    model->navigateTarget(text(home / "backup"));
    settle();
    EXPECT_EQ(model->message(), u"That folder is already a backup destination.");

    model->navigateTarget(text(home / "main/sub"));
    settle();
    EXPECT_EQ(model->primaryTarget(), text(home / "main/sub"));
    EXPECT_EQ(makeModel()->targets(), (QStringList{text(home / "main/sub"), text(home / "backup")}))
        << "saved at once";
}

} // namespace
} // namespace quaymark
