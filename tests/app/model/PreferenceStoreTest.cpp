// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/model/PreferenceStore.h"

#include "TestFiles.h"

#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

namespace quaymark {
namespace {

class PreferenceStoreTest : public ::testing::Test {
protected:
    test::TempDir folder;
    QString file = QString::fromStdString((folder / "Quaymark.conf").string());

    // The store as an older version, or a user with a text editor, left it.
    void writeRaw(const char* text) { test::writeFile(folder / "Quaymark.conf", text); }

    // A start of the application: load, migrate once, write back.
    StoredPreferences start() {
        PreferenceStore store(file);
        StoredPreferences loaded = store.load();
        if (store.migrateFolderRule(loaded.folderRule)) {
            store.save(loaded);
            store.markMigrated();
        }
        store.save(loaded);
        return loaded;
    }
};

TEST_F(PreferenceStoreTest, FirstRunWritesBackDefaultsAndMigratesOnce) {
    const StoredPreferences first = start();
    // Users' files hold these names: a renamed key loses their settings.
    QSettings written(file, QSettings::IniFormat);
    for (const char* key : {"folderRule", "parallelFiles", "videosOnly", "writeMhl", "autoEnabled",
                            "cameraNamingMigrated", "destinations"}) {
        EXPECT_TRUE(written.contains(QString::fromLatin1(key))) << key;
    }

    EXPECT_EQ(start(), first) << "a second start changes nothing";
}

TEST_F(PreferenceStoreTest, OlderRulesGainACameraLevelOnce) {
    const std::vector<std::pair<const char*, const char16_t*>> cases = {
        {"{date}/{source}_{time}", u"{date}/{camera}_{time}"},
        {"{date}", u"{date}/{camera}_{time}"},
        {"{year}/{month}", u"{year}/{month}/{camera}_{time}"},
    };
    for (const auto& [stored, migrated] : cases) {
        SCOPED_TRACE(stored);
        writeRaw((std::string("[General]\nfolderRule=\"") + stored + "\"\n").c_str());
        EXPECT_EQ(start().folderRule, QStringView(migrated));
        EXPECT_EQ(start().folderRule, QStringView(migrated)) << "never migrated twice";
    }
}

TEST_F(PreferenceStoreTest, OutOfRangeAndCorruptValuesFallBack) {
    const std::vector<std::pair<const char*, int>> parallel = {
        {"9", 4}, {"0", 2}, {"-3", 1}, {"3", 3}, {"many", 2}};
    for (const auto& [stored, loaded] : parallel) {
        SCOPED_TRACE(stored);
        writeRaw((std::string("[General]\nparallelFiles=") + stored + "\n").c_str());
        EXPECT_EQ(start().parallelFiles, loaded);
        EXPECT_EQ(PreferenceStore(file).load().parallelFiles, loaded) << "written back clamped";
    }

    writeRaw("[General]\nvideosOnly=false\nwriteMhl=false\nautoEnabled=banana\n"
             "destinations=not json\ncameraOverrides=@Variant(\\0\\0\\0\\b\\0\\0\\0\\0)\n");
    start();
    const StoredPreferences loaded = start();
    EXPECT_FALSE(loaded.videosOnly) << "a stored false stays false";
    EXPECT_FALSE(loaded.writeMhl);
    EXPECT_FALSE(loaded.autoEnabled);
    EXPECT_TRUE(loaded.destinations.isEmpty());
    EXPECT_TRUE(loaded.cameraOverrides.isEmpty());

    QSettings mixed(file, QSettings::IniFormat);
    mixed.setValue(
        QStringLiteral("enrolled"),
        QVariantMap{{QStringLiteral("A"), QStringLiteral("CARD")}, {QStringLiteral("B"), 7}});
    mixed.sync();
    EXPECT_TRUE(PreferenceStore(file).load().enrolled.isEmpty()) << "not all text: empty";
}

TEST_F(PreferenceStoreTest, DestinationsOverridesAndRecoveryFoldersPersist) {
    StoredPreferences preferences;
    preferences.destinations = {
        {QStringLiteral("/srv/footage"), QByteArray("\x00\xFF bookmark", 11)},
        {QStringLiteral("/mnt/backup copy"), std::nullopt}};
    preferences.enrolled = {{QStringLiteral("0A1B-2C3D"), QStringLiteral("CARD")}};
    preferences.cameraOverrides = {{QStringLiteral("/media/card"), QStringLiteral("FX6 A")}};
    preferences.videosOnly = false;
    preferences.parallelFiles = 4;
    {
        PreferenceStore store(file);
        store.save(preferences);
        store.saveRecoveryFolders({QStringLiteral("/srv/footage/2025-03-01/A_093005")});
    }
    preferences.recoveryFolders = {QStringLiteral("/srv/footage/2025-03-01/A_093005")};
    EXPECT_EQ(PreferenceStore(file).load(), preferences);

    PreferenceStore(file).saveRecoveryFolders(
        {QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/a")});
    EXPECT_EQ(PreferenceStore(file).load().recoveryFolders,
              (QStringList{QStringLiteral("/a"), QStringLiteral("/b")}));
}

TEST(PreferenceStore, UsesTheUsersConfigurationFolder) {
    PreferenceStore().saveRecoveryFolders({QStringLiteral("/x")});
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    ASSERT_FALSE(config.isEmpty()) << "tests run with a configuration folder of their own";
    EXPECT_TRUE(QFile::exists(config + u"/Brindleway/Quaymark.conf"));
}

} // namespace
} // namespace quaymark
