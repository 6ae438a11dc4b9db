// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestFiles.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/engine/ImportRun.h"
#include "ingest/records/RecordsJson.h"
#include "ingest/records/Sha256.h"

#include <gtest/gtest.h>

#include <mutex>

namespace quaymark::test {

namespace fs = std::filesystem;

// No hidden partial or status file anywhere in the import folder.
inline void expectNoTemporaries(const fs::path& folder) {
    for (const auto& name : listTree(folder)) {
        EXPECT_EQ(name.find(".partial"), std::string::npos) << name;
        EXPECT_EQ(name.find(".quaymark-status-"), std::string::npos) << name;
    }
}

// A card-like source, a destination, and one engine run at a time between them.
class ImportFixture : public ::testing::Test {
protected:
    TempDir source;
    TempDir target;
    ImportOptions options{"{source}", 2, false, std::nullopt};
    CancellationFlag cancellation;
    ImportEngine::RunEnvironment environment = ImportEngine::systemEnvironment();

    std::mutex mutex;
    std::vector<ImportProgress> reports;
    // Called for every report, on whatever thread made it, under the fixture's lock.
    std::function<void(const ImportProgress&)> onReport;

    ImportResult run(const std::optional<fs::path>& resume = std::nullopt) {
        {
            std::lock_guard lock(mutex);
            reports.clear();
        }
        return ImportEngine::run(
            source.path(), target.path(), options, cancellation, resume,
            [this](const ImportProgress& progress) {
                std::lock_guard lock(mutex);
                reports.push_back(progress);
                if (onReport) {
                    onReport(progress);
                }
            },
            environment);
    }

    // Runs and returns the error's description, failing the test when the run succeeds.
    std::string runFailure(const std::optional<fs::path>& resume = std::nullopt) {
        try {
            run(resume);
        } catch (const std::exception& error) {
            return error.what();
        }
        ADD_FAILURE() << "the run was expected to fail";
        return {};
    }

    // Ten files of distinct content in a nested, card-like tree.
    void makeCard(int files = 10, size_t size = 4096) {
        for (int i = 0; i < files; ++i) {
            writeFile(
                source / ("DCIM/10" + std::to_string(i % 2) + "/C000" + std::to_string(i) + ".MP4"),
                patternBytes(size + static_cast<size_t>(i), static_cast<unsigned>(i) + 1));
        }
    }

    fs::path onlyImportFolder() const {
        std::vector<fs::path> folders;
        for (const auto& entry : fs::directory_iterator(target.path())) {
            folders.push_back(entry.path());
        }
        EXPECT_EQ(folders.size(), 1u);
        return folders.empty() ? fs::path() : folders.front();
    }

    static SessionRecord journal(const fs::path& folder) {
        return ImportEngine::readSession(folder);
    }

    static std::string markerOf(const fs::path& folder) {
        return readFile(folder / "_QUAYMARK_INCOMPLETE.txt");
    }
};

} // namespace quaymark::test
