// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "AnsweringPicker.h"
#include "QtPaths.h"
#include "QtPrinting.h"
#include "TestFiles.h"
#include "app/downloads/DownloadModel.h"

#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace quaymark::test {

namespace fs = std::filesystem;

// A data folder, a tools folder holding the fake yt-dlp and stand-ins for the other helpers,
// and models over them.
class DownloadFixture : public ::testing::Test {
protected:
    TempDir home;
    fs::path data = home / "data";
    fs::path tools = home / "tools";
    AnsweringPicker picker;

    void installTools() {
        fs::create_directories(tools);
        fs::copy_file(QUAYMARK_FAKE_YTDLP, tools / "yt-dlp");
        for (const char* name : {"ffmpeg", "ffprobe", "deno"}) {
            writeFile(tools / name, "#!/bin/sh\nexit 0\n");
            fs::permissions(tools / name, fs::perms::owner_all, fs::perm_options::add);
        }
    }

    std::unique_ptr<DownloadModel> makeModel() {
        DownloadModel::Setup setup;
        setup.dataFolder = text(data);
        setup.tools = DownloadTools({tools});
        setup.folderPicker = &picker;
        setup.settingsFile = text(data / "settings.ini");
        return std::make_unique<DownloadModel>(std::move(setup));
    }

    // A selected project named `name` whose videos go below `destination`.
    static void addProject(DownloadModel& model, AnsweringPicker& picker, const QString& name,
                           const fs::path& destination) {
        fs::create_directories(destination);
        model.setNewName(name);
        model.createProject();
        picker.answer = text(destination);
        model.chooseFolder();
        // The folder's bookmark arrives from a worker.
        waitUntil([&] {
            const VideoProject* chosen = model.project();
            return chosen && chosen->destination && chosen->destination->bookmark;
        });
    }

    static void paste(DownloadModel& model, const QStringList& links) {
        model.setLinkText(links.join(u'\n'));
        model.addLinks();
    }

    static const VideoLink& linkAt(const DownloadModel& model, int project, int link) {
        return model.projects().at(project).links.at(link);
    }

    static bool waitUntil(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 60'000);
    }
};

} // namespace quaymark::test
