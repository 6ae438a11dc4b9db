// SPDX-License-Identifier: GPL-3.0-or-later
#include "CameraTestSupport.h"
#include "TestFiles.h"
#include "ingest/camera/CameraMetadata.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace quaymark::test {
namespace {

using namespace std::chrono_literals;

const std::vector<MetadataItem> sony = {{"com.apple.quicktime.make", "SONY"},
                                        {"com.apple.quicktime.model", "ILCE-7SM3"}};

// The fallback's stand-in, recording what detection asks of it. Its assets share it, so it
// outlives the loads that detection abandons.
struct FakeFramework final : MetadataFramework, std::enable_shared_from_this<FakeFramework> {
    struct Asset final : MetadataAsset {
        Asset(std::shared_ptr<FakeFramework> owner, std::string file)
            : fake(std::move(owner))
            , name(std::move(file)) {
            fake->update([&] { ++fake->alive; });
        }
        ~Asset() override {
            fake->update([&] { --fake->alive; });
        }
        std::optional<std::vector<MetadataItem>> loadMetadata() override {
            fake->update([&] { ++fake->loads; });
            fake->waitFor([&] { return !fake->blocking.contains(name) || fake->released; });
            const auto found = fake->items.find(name);
            return found == fake->items.end() ? std::nullopt : std::optional(found->second);
        }
        void cancelLoading() noexcept override {
            fake->update([&] { fake->cancelled.insert(name); });
        }

        std::shared_ptr<FakeFramework> fake;
        std::string name;
    };

    std::shared_ptr<MetadataAsset> open(const std::filesystem::path& file) override {
        update([&] { opened.push_back(file.filename().string()); });
        if (onOpen) {
            onOpen();
        }
        return std::make_shared<Asset>(shared_from_this(), file.filename().string());
    }
    void update(const std::function<void()>& change) {
        {
            std::lock_guard lock(mutex);
            change();
        }
        changed.notify_all();
    }
    bool waitFor(const std::function<bool()>& done) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 30s, done);
    }

    // By file name, changed only while no detection runs. Loads of other files fail; blocking
    // ones wait for the end of the test, whatever cancelLoading says (a dead device).
    std::map<std::string, std::vector<MetadataItem>> items;
    std::set<std::string> blocking;
    std::function<void()> onOpen;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> opened; // in order
    std::set<std::string> cancelled;
    int loads = 0; // started
    int alive = 0; // assets
    bool released = false;
};

class DetectTest : public ::testing::Test {
protected:
    std::filesystem::path clip(const std::string& name, std::string_view bytes = "no metadata") {
        writeFile(dir_ / name, bytes);
        return dir_ / name;
    }
    // A clip that the QuickTime reader names "Canon EOS R5".
    std::filesystem::path namedClip(const std::string& name) {
        return clip(name, clipWithUdtaMeta(makeModelMeta("Canon", "Canon EOS R5")));
    }
    std::optional<std::string> detect(const std::vector<std::filesystem::path>& clips,
                                      std::stop_token stop = {}) {
        return CameraMetadata::detect(clips, std::move(stop), fake_);
    }
    // A field of the fake, read under its lock.
    template <typename T>
    T seen(T FakeFramework::*field) {
        std::lock_guard lock(fake_->mutex);
        return (*fake_).*field;
    }

    void TearDown() override {
        // Nothing a test started may still run: blocked loads are released and must end.
        fake_->update([&] { fake_->released = true; });
        EXPECT_TRUE(fake_->waitFor([&] { return fake_->alive == 0; }));
    }

    TempDir dir_;
    std::shared_ptr<FakeFramework> fake_ = std::make_shared<FakeFramework>();
};

TEST_F(DetectTest, ProbesTheFirstEightQuickTimeClipsInAnyCaseWithTheReaderFirst) {
    // Every clip would be named if probed: "Canon EOS R5" by the reader, SONY by the fallback.
    const std::vector<std::pair<std::vector<std::string>, std::optional<std::string>>> cases = {
        {{"A001.MXF", "A002.R3D", "A003.braw", "A004.mxf", "x.txt"}, std::nullopt},
        {{"mov", "clipmov", "x.mov.bak"}, std::nullopt},
        {{"a.MOV"}, "Canon EOS R5"},
        {{"b.Mp4"}, "Canon EOS R5"},
        {{"c.m4V"}, "Canon EOS R5"},
    };
    for (const auto& [names, expected] : cases) {
        std::vector<std::filesystem::path> clips;
        for (const std::string& name : names) {
            fake_->items[name] = sony;
            clips.push_back(namedClip(name));
        }
        EXPECT_EQ(detect(clips), expected) << names.front();
    }
    EXPECT_TRUE(seen(&FakeFramework::opened).empty());

    // Only the first eight clips: other kinds in between do not count, and the ninth is not
    // read although the reader would name it.
    std::vector<std::filesystem::path> clips;
    for (int i = 0; i < 10; ++i) {
        clips.push_back(namedClip("C" + std::to_string(i) + ".MXF"));
        const std::string name = "C" + std::to_string(i) + ".mov";
        clips.push_back(i == 8 ? namedClip(name) : clip(name));
    }
    EXPECT_EQ(detect(clips), std::nullopt);
    EXPECT_EQ(seen(&FakeFramework::opened),
              (std::vector<std::string>{"C0.mov", "C1.mov", "C2.mov", "C3.mov", "C4.mov", "C5.mov",
                                        "C6.mov", "C7.mov"}));
}

TEST_F(DetectTest, FailuresAndEmptyResultsMoveOnToTheNextClip) {
    // A: the reader fails (a 64-bit size cut off by the end of the file) and so does the
    // fallback. B: neither finds metadata. C: the fallback names it. D is never reached.
    fake_->items["B.mov"] = {};
    fake_->items["C.mov"] = sony;
    EXPECT_EQ(detect({clip("A.mov", ftyp() + be32(1) + "moov"), clip("B.mov"), clip("C.mov"),
                      namedClip("D.mov")}),
              "SONY ILCE-7SM3");
    EXPECT_EQ(seen(&FakeFramework::opened), (std::vector<std::string>{"A.mov", "B.mov", "C.mov"}));
}

TEST_F(DetectTest, FallbackItemsAreWalkedInOrder) {
    const std::vector<std::pair<std::vector<MetadataItem>, std::optional<std::string>>> cases = {
        {{{"model", "First"},
          {"com.apple.quicktime.make", "Nikon"},
          {"make", "Panasonic Corporation"},
          {"com.apple.quicktime.model", "DC-GH6"},
          {"com.apple.quicktime.software", "1.0"}},
         "Panasonic DC-GH6"},
        // An item without a string value clears what an earlier one set.
        {{{"model", "DC-GH6"}, {"com.apple.quicktime.model", std::nullopt}}, std::nullopt},
        {{{"make", "SONY"}, {"make", std::nullopt}, {"model", "ILCE-7SM3"}}, "ILCE-7SM3"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string name = std::to_string(i) + ".mov";
        fake_->items[name] = cases[i].first;
        EXPECT_EQ(detect({clip(name)}), cases[i].second) << "case " << i;
    }
}

TEST_F(DetectTest, CancellationIsObservedBeforeEveryClipAndWhileWaiting) {
    std::stop_source before;
    before.request_stop();
    EXPECT_EQ(detect({namedClip("A.mov")}, before.get_token()), std::nullopt);
    EXPECT_TRUE(seen(&FakeFramework::opened).empty());
    // Cancelled while B's fallback is blocked: the wait ends at once, and neither C (named by the
    // reader) nor D (by the fallback) is probed.
    fake_->blocking = {"B.mov"};
    fake_->items["D.mov"] = sony;
    std::stop_source during;
    std::jthread canceller([&] {
        fake_->waitFor([&] { return fake_->loads == 1; });
        during.request_stop();
    });
    EXPECT_EQ(detect({clip("B.mov"), namedClip("C.mov"), clip("D.mov")}, during.get_token()),
              std::nullopt);
    EXPECT_EQ(seen(&FakeFramework::opened), std::vector<std::string>{"B.mov"});
    EXPECT_TRUE(seen(&FakeFramework::cancelled).contains("B.mov"));
}

TEST_F(DetectTest, AFallbackThatBlocksIsCancelledAndAbandonedAtTheDeadline) {
    fake_->blocking = {"A.mov"};
    fake_->items["B.mov"] = sony;
    EXPECT_EQ(detect({clip("A.mov"), clip("B.mov")}), "SONY ILCE-7SM3");
    EXPECT_TRUE(seen(&FakeFramework::cancelled).contains("A.mov"));
    EXPECT_EQ(seen(&FakeFramework::alive), 1); // A's, still blocked: detection did not wait for it
}

TEST_F(DetectTest, BlockedFallbacksDoNotPileUpWithoutBound) {
    // Each detection is cancelled once its load has started, leaving that load blocked, until
    // the process-wide limit refuses to start another.
    fake_->blocking = {"A.mov"};
    const std::filesystem::path blocked = clip("A.mov");
    std::array<std::stop_source, CameraMetadata::runningFallbackLimit + 1> stops;
    std::atomic<std::size_t> opens{0};
    fake_->onOpen = [&] { stops[opens++].request_stop(); };
    std::size_t started = 0;
    for (; started < stops.size(); ++started) {
        EXPECT_EQ(detect({blocked}, stops[started].get_token()), std::nullopt);
        if (opens == started) { // refused
            EXPECT_GE(runningFallbackLoads(), CameraMetadata::runningFallbackLimit);
            break;
        }
    }
    EXPECT_GE(started, 1u);
    EXPECT_LE(started, CameraMetadata::runningFallbackLimit);
}

} // namespace
} // namespace quaymark::test
