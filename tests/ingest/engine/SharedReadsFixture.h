// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ImportFixture.h"
#include "ingest/copy/ProgressTracker.h"
#include "ingest/copy/SessionDocuments.h"
#include "ingest/copy/SharedReads.h"
#include "ingest/engine/ImportRun.h"
#include "ingest/records/RecordsJson.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

namespace quaymark::test {

// One card imported to several destinations at once, the runs sharing their source reads as
// the runs of one batch do.
class SharedReadsFixture : public ::testing::Test {
protected:
    struct Destination {
        fs::path target;
        std::optional<fs::path> resume;
        CancellationFlag cancellation;
        ImportEngine::RunEnvironment environment = ImportEngine::systemEnvironment();
        // Called for each of the run's reports, on the thread that made it, outside any lock.
        std::function<void(const ImportProgress&)> onReport;
        std::vector<ImportProgress> reports; // under the fixture's mutex
        std::optional<ImportResult> result;
        std::string error;
        bool ended = false; // under the fixture's mutex
    };

    TempDir source;
    TempDir targets;
    ImportOptions options{"{source}", 2, false, std::nullopt};
    std::chrono::milliseconds laggardGrace = ImportEngine::defaultLaggardGrace;
    std::vector<std::unique_ptr<Destination>> destinations;
    std::mutex mutex;
    std::condition_variable changed;

    Destination& add(const fs::path& target) {
        fs::create_directories(target);
        destinations.push_back(std::make_unique<Destination>());
        destinations.back()->target = target;
        return *destinations.back();
    }

    void runAll() {
        const auto shared =
            std::make_shared<ImportEngine::SharedReads>(destinations.size(), laggardGrace);
        std::vector<std::jthread> threads;
        for (auto& owned : destinations) {
            Destination* d = owned.get();
            d->environment.sharedReads = shared;
            threads.emplace_back([this, d] {
                try {
                    d->result = ImportEngine::run(
                        source.path(), d->target, options, d->cancellation, d->resume,
                        [this, d](const ImportProgress& progress) {
                            {
                                std::lock_guard lock(mutex);
                                d->reports.push_back(progress);
                            }
                            changed.notify_all();
                            if (d->onReport) {
                                d->onReport(progress);
                            }
                        },
                        d->environment);
                } catch (const std::exception& error) {
                    d->error = error.what();
                }
                std::lock_guard lock(mutex);
                d->ended = true;
                changed.notify_all();
            });
        }
    }

    // Waits, with a generous bound, until `ready` holds under the fixture's lock.
    bool waitFor(const std::function<bool()>& ready) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60), ready);
    }

    // Files of distinct content: large ones first, so that they are shared block by block,
    // then small ones.
    void makeCard(int large, size_t largeSize, int small) {
        for (int i = 0; i < large; ++i) {
            writeFile(source / ("DCIM/100/C000" + std::to_string(i) + ".MP4"),
                      patternBytes(largeSize + static_cast<size_t>(i), 100u + i));
        }
        for (int i = 0; i < small; ++i) {
            writeFile(source / ("DCIM/101/S00" + std::to_string(i) + ".JPG"),
                      patternBytes(3000 + static_cast<size_t>(i), 200u + i));
        }
    }

    // A verified import: a receipt of every source file, each copy the source's bytes, and
    // nothing hidden left behind.
    void expectVerified(const Destination& d) {
        ASSERT_TRUE(d.result) << d.error;
        const fs::path folder = d.result->destination;
        const ImportReceipt receipt = decodeReceipt(readFile(folder / "_QUAYMARK_VERIFIED.json"));
        size_t files = 0;
        for (const auto& entry : fs::recursive_directory_iterator(source.path())) {
            files += entry.is_regular_file() ? 1 : 0;
        }
        ASSERT_EQ(receipt.files.size(), files);
        for (const auto& file : receipt.files) {
            EXPECT_EQ(readFile(folder / file.path), readFile(source / file.path)) << file.path;
        }
        expectNoTemporaries(folder);
    }

    // An interrupted import: every file it lists is the source's, nothing hidden is left.
    void expectInterrupted(const Destination& d, const std::string& error) {
        ASSERT_FALSE(d.result);
        EXPECT_EQ(d.error.substr(0, error.size()), error);
        std::vector<fs::path> folders;
        for (const auto& entry : fs::directory_iterator(d.target)) {
            if (fs::exists(entry.path() / "_QUAYMARK_SESSION.json")) {
                folders.push_back(entry.path());
            }
        }
        ASSERT_EQ(folders.size(), 1u);
        const SessionRecord record = ImportEngine::readSession(folders[0]);
        EXPECT_EQ(record.status, "interrupted");
        for (const auto& file : record.completed) {
            EXPECT_EQ(readFile(folders[0] / file.path), readFile(source / file.path));
        }
        expectNoTemporaries(folders[0]);
    }
};

} // namespace quaymark::test
