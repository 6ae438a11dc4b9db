// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtPrinting.h"
#include "ScreenHarness.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

namespace quaymark {
namespace {

using test::click;
using test::text;
using test::textOf;

const QString sheetScene = QStringLiteral(R"(
import QtQuick
import Quaymark
import Quaymark.Models
Window {
    id: window
    required property AppModel appModel
    ImportSettings { appModel: window.appModel }
}
)");

class SettingsScreenTest : public ::testing::Test {
protected:
    test::TempDir home;
    std::unique_ptr<AppModel> model;
    std::unique_ptr<test::ComponentHarness> scene;

    void SetUp() override {
        model = test::makeAppModel(home.path(), nullptr);
        ASSERT_TRUE(test::settle());
        model->setShowSettings(true);
        scene = std::make_unique<test::ComponentHarness>(
            sheetScene, QVariantMap{{QStringLiteral("appModel"), QVariant::fromValue(model.get())}},
            QSize(900, 900));
        ASSERT_NE(scene->window(), nullptr);
        render();
    }

    void TearDown() override {
        scene.reset();
        model.reset();
        test::settle();
    }

    void render() const {
        QCoreApplication::processEvents();
        scene->window()->grabWindow();
    }

    QQuickItem* item(const char* name) const { return scene->find(name); }
};

TEST_F(SettingsScreenTest, TheCameraOverrideNeedsASourceAndShowsItsStoredName) {
    EXPECT_FALSE(item("cameraOverrideField")->isEnabled());
    EXPECT_EQ(textOf(item("cameraLine")), u"Camera: Unknown Camera");

    const QString card = text(home / "CARD");
    std::filesystem::create_directories(home / "CARD");
    model->setCameraOverrides({{card, QStringLiteral("FX6 A-cam")}});
    model->setSource(card);
    ASSERT_TRUE(test::settle());
    render();
    EXPECT_TRUE(item("cameraOverrideField")->isEnabled());
    EXPECT_EQ(textOf(item("cameraOverrideField")), u"FX6 A-cam");

    click(item("cameraOverrideField"));
    test::type(scene->window(), QStringLiteral(" B"));
    EXPECT_EQ(model->cameraOverride(), u"FX6 A-cam B");
}

TEST_F(SettingsScreenTest, EnrolledDrivesAreListedAndRemoved) {
    EXPECT_TRUE(item("noDrives")->isVisible());
    model->setEnrolled({{QStringLiteral("0A1B-2C3D"), QString()}});
    render();
    EXPECT_FALSE(item("noDrives")->isVisible());
    EXPECT_EQ(textOf(item("enrolledName")), u"0A1B-2C3D"); // no name: the identifier
    click(item("unenrollButton"));
    render();
    EXPECT_TRUE(model->enrolled().isEmpty());
    EXPECT_TRUE(item("noDrives")->isVisible());
}

TEST_F(SettingsScreenTest, TheRulePreviewFollowsTypingAndReturnCloses) {
    click(item("folderRuleField"));
    QTest::keyClick(scene->window(), Qt::Key_A, Qt::ControlModifier);
    test::type(scene->window(), QStringLiteral("{source}/{Date}"));
    render();
    EXPECT_EQ(model->folderRule(), u"{source}/{Date}");
    EXPECT_EQ(textOf(item("namingPreview")), u"Preview: Invalid folder rule");

    QTest::keyClick(scene->window(), Qt::Key_Return);
    render();
    EXPECT_FALSE(model->showSettings());
    model->setShowSettings(true);
    render();
    click(item("doneButton"));
    EXPECT_FALSE(model->showSettings());
}

} // namespace
} // namespace quaymark
