#include "CameraTestSupport.h"
#include "TestFiles.h"
#include "ingest/camera/CameraMetadata.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace quaymark::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What a fake asset does when its metadata is loaded.
enum class Load {
    items,               // returns the configured items at once
    fail,                // the load fails
    blockIgnoringCancel, // blocks until the test releases it, whatever cancelLoading says
    blockUntilCancelled, // blocks until cancelLoading
};

struct Behaviour {
    Load load = Load::items;
    std::vector<MetadataItem> items;
};

// Shared by the fake framework, its assets and the test; outlives abandoned loads.
struct FakeState {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> opened; // file names, in order
    int loading = 0;                 // loads inside loadMetadata now
    int assetsAlive = 0;
    int cancels = 0;
    bool released = false;
    int detectionsEnded = 0;

    template <typename Predicate>
    bool waitFor(Predicate predicate, std::chrono::seconds limit = 30s) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, predicate);
    }
    void release() {
        {
            std::lock_guard lock(mutex);
            released = true;
        }
        changed.notify_all();
    }
};

class FakeAsset final : public MetadataAsset {
public:
    FakeAsset(std::shared_ptr<FakeState> state, Behaviour behaviour)
        : state_(std::move(state))
        , behaviour_(std::move(behaviour)) {
        std::lock_guard lock(state_->mutex);
        ++state_->assetsAlive;
    }
    ~FakeAsset() override {
        {
            std::lock_guard lock(state_->mutex);
            --state_->assetsAlive;
        }
        state_->changed.notify_all();
    }

    std::optional<std::vector<MetadataItem>> loadMetadata() override {
        std::unique_lock lock(state_->mutex);
        ++state_->loading;
        state_->changed.notify_all();
        std::optional<std::vector<MetadataItem>> result;
        switch (behaviour_.load) {
        case Load::items:
            result = behaviour_.items;
            break;
        case Load::fail:
            break;
        case Load::blockIgnoringCancel:
            state_->changed.wait(lock, [&] { return state_->released; });
            break;
        case Load::blockUntilCancelled:
            state_->changed.wait(lock, [&] { return cancelled_; });
            break;
        }
        --state_->loading;
        state_->changed.notify_all();
        return result;
    }

    void cancelLoading() noexcept override {
        {
            std::lock_guard lock(state_->mutex);
            cancelled_ = true;
            ++state_->cancels;
        }
        state_->changed.notify_all();
    }

private:
    std::shared_ptr<FakeState> state_;
    Behaviour behaviour_;
    bool cancelled_ = false; // guarded by state_->mutex
};

class FakeFramework final : public MetadataFramework {
public:
    explicit FakeFramework(std::shared_ptr<FakeState> state)
        : state_(std::move(state)) {}

    std::shared_ptr<MetadataAsset> open(const std::filesystem::path& file) override {
        const std::string name = file.filename().string();
        {
            std::lock_guard lock(state_->mutex);
            state_->opened.push_back(name);
        }
        if (onOpen) {
            onOpen(name);
        }
        const auto found = behaviours.find(name);
        return std::make_shared<FakeAsset>(state_,
                                           found == behaviours.end() ? Behaviour{} : found->second);
    }

    std::map<std::string, Behaviour> behaviours; // set before detection starts
    std::function<void(const std::string&)> onOpen;

private:
    std::shared_ptr<FakeState> state_;
};

std::vector<MetadataItem> makeModel(std::string make, std::string model) {
    return {{"com.apple.quicktime.make", std::move(make)},
            {"com.apple.quicktime.model", std::move(model)}};
}

class DetectTest : public ::testing::Test {
protected:
    std::filesystem::path clip(const std::string& name, std::string_view bytes = "no metadata") {
        const std::filesystem::path file = dir_ / name;
        writeFile(file, bytes);
        return file;
    }
    std::filesystem::path namedClip(const std::string& name) {
        return clip(name, clipWithUdtaMeta(makeModelMeta("Canon", "Canon EOS R5")));
    }
    std::vector<std::string> opened() {
        std::lock_guard lock(state_->mutex);
        return state_->opened;
    }
    std::optional<std::string> detect(const std::vector<std::filesystem::path>& clips,
                                      std::stop_token stop = {}) {
        return CameraMetadata::detect(clips, std::move(stop), framework_);
    }

    void TearDown() override {
        // Nothing a test started may still run: abandoned loads are released and must end.
        state_->release();
        EXPECT_TRUE(state_->waitFor([&] { return state_->assetsAlive == 0; }));
    }

    TempDir dir_;
    std::shared_ptr<FakeState> state_ = std::make_shared<FakeState>();
    std::shared_ptr<FakeFramework> framework_ = std::make_shared<FakeFramework>(state_);
};

TEST_F(DetectTest, OnlyMxfR3dAndBrawClipsOpenNothing) {
    // Their bytes would name a camera if they were read.
    const std::vector<std::filesystem::path> clips = {namedClip("A001.MXF"), namedClip("A002.R3D"),
                                                      namedClip("A003.braw"),
                                                      namedClip("A004.mxf")};
    EXPECT_EQ(detect(clips), std::nullopt);
    EXPECT_TRUE(opened().empty());
}

TEST_F(DetectTest, AnEmptyListGivesNothing) {
    EXPECT_EQ(detect({}), std::nullopt);
    EXPECT_TRUE(opened().empty());
}

TEST_F(DetectTest, TheQuickTimeReaderComesFirst) {
    framework_->behaviours["A.mov"] = {Load::items, makeModel("SONY", "ILCE-7SM3")};
    EXPECT_EQ(detect({namedClip("A.mov")}), "Canon EOS R5");
    EXPECT_TRUE(opened().empty());
}

TEST_F(DetectTest, ExtensionsMatchInAnyCase) {
    for (const char* name : {"a.MOV", "b.Mp4", "c.m4V"}) {
        EXPECT_EQ(detect({clip("x.txt"), namedClip(name)}), "Canon EOS R5") << name;
    }
    EXPECT_TRUE(opened().empty());
    // No extension, or a name that only ends in the letters, is not probed.
    EXPECT_EQ(detect({namedClip("mov"), namedClip("clipmov"), namedClip("x.mov.bak")}),
              std::nullopt);
    EXPECT_TRUE(opened().empty());
}

TEST_F(DetectTest, TenClipsWithoutMetadataTryExactlyEight) {
    std::vector<std::filesystem::path> clips;
    std::vector<std::string> expected;
    for (int i = 0; i < 10; ++i) {
        const std::string name = "C" + std::to_string(i) + ".mov";
        clips.push_back(clip(name));
        if (i < 8) {
            expected.push_back(name);
        }
        // Clips of other kinds in between do not count.
        clips.push_back(namedClip("C" + std::to_string(i) + ".MXF"));
    }
    EXPECT_EQ(detect(clips), std::nullopt);
    EXPECT_EQ(opened(), expected);
}

TEST_F(DetectTest, TheNinthClipIsNeverRead) {
    std::vector<std::filesystem::path> clips;
    for (int i = 0; i < 8; ++i) {
        clips.push_back(clip("C" + std::to_string(i) + ".mp4"));
    }
    clips.push_back(namedClip("C8.mov"));
    EXPECT_EQ(detect(clips), std::nullopt);
    EXPECT_EQ(opened().size(), 8u);
}

TEST_F(DetectTest, TheFallbackNamesAClipTheReaderCannot) {
    framework_->behaviours["B.mov"] = {Load::items, makeModel("SONY", "ILCE-7SM3")};
    EXPECT_EQ(detect({clip("A.mov"), clip("B.mov"), namedClip("C.mov")}), "SONY ILCE-7SM3");
    EXPECT_EQ(opened(), (std::vector<std::string>{"A.mov", "B.mov"}));
}

TEST_F(DetectTest, AReaderFailureMovesOnToTheFallback) {
    // The 64-bit size of this header is cut off by the end of the file.
    framework_->behaviours["A.mov"] = {Load::items, makeModel("Canon", "EOS R5")};
    EXPECT_EQ(detect({clip("A.mov", ftyp() + be32(1) + "moov")}), "Canon EOS R5");
}

TEST_F(DetectTest, FallbackItemsAreWalkedInOrder) {
    framework_->behaviours["A.mov"] = {Load::items,
                                       {{"model", "First"},
                                        {"com.apple.quicktime.make", "Nikon"},
                                        {"make", "Panasonic Corporation"},
                                        {"com.apple.quicktime.model", "DC-GH6"},
                                        {"com.apple.quicktime.software", "1.0"}}};
    EXPECT_EQ(detect({clip("A.mov")}), "Panasonic DC-GH6");

    // An item without a string value clears what an earlier one set.
    framework_->behaviours["B.mov"] = {
        Load::items, {{"model", "DC-GH6"}, {"com.apple.quicktime.model", std::nullopt}}};
    framework_->behaviours["C.mov"] = {
        Load::items, {{"make", "SONY"}, {"make", std::nullopt}, {"model", "ILCE-7SM3"}}};
    EXPECT_EQ(detect({clip("B.mov"), clip("C.mov")}), "ILCE-7SM3");

    // Identifiers are compared as they are.
    framework_->behaviours["D.mov"] = {Load::items, {{"MODEL", "X1"}, {"Make", "Y"}}};
    EXPECT_EQ(detect({clip("D.mov")}), std::nullopt);
}

TEST_F(DetectTest, AFailedFallbackMovesOnToTheNextClip) {
    framework_->behaviours["A.mov"] = {Load::fail, {}};
    framework_->behaviours["B.mov"] = {Load::items, makeModel("SONY", "ILCE-7SM3")};
    EXPECT_EQ(detect({clip("A.mov"), clip("B.mov")}), "SONY ILCE-7SM3");
}

TEST_F(DetectTest, CancellationBeforeTheFirstClipProbesNothing) {
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(detect({namedClip("A.mov")}, stop.get_token()), std::nullopt);
    EXPECT_TRUE(opened().empty());
}

TEST_F(DetectTest, CancellationBeforeTheSecondClipProbesNothingMore) {
    std::stop_source stop;
    // The caller's task is cancelled while the first clip is being probed.
    framework_->onOpen = [&](const std::string&) { stop.request_stop(); };
    // The second clip would be named by the QuickTime reader, the third by the fallback.
    framework_->behaviours["C.mov"] = {Load::items, makeModel("SONY", "ILCE-7SM3")};
    EXPECT_EQ(detect({clip("A.mov"), namedClip("B.mov"), clip("C.mov")}, stop.get_token()),
              std::nullopt);
    EXPECT_EQ(opened(), std::vector<std::string>{"A.mov"});
}

TEST_F(DetectTest, AFallbackThatBlocksIsAbandonedAtTheDeadline) {
    framework_->behaviours["A.mov"] = {Load::blockIgnoringCancel, {}};
    framework_->behaviours["B.mov"] = {Load::items, makeModel("SONY", "ILCE-7SM3")};
    const auto start = Clock::now();
    EXPECT_EQ(detect({clip("A.mov"), clip("B.mov")}), "SONY ILCE-7SM3");
    const auto elapsed = Clock::now() - start;
    // About 2 seconds for the blocked clip only; generous above for loaded machines.
    EXPECT_GE(elapsed, CameraMetadata::fallbackTimeLimit - 50ms);
    EXPECT_LT(elapsed, 10s);
    {
        std::lock_guard lock(state_->mutex);
        EXPECT_EQ(state_->loading, 1); // still blocked: detection did not wait for it
        EXPECT_GE(state_->cancels, 1); // but its loading was cancelled
    }
    // Once its call returns, the abandoned load ends and lets go of everything.
    state_->release();
    EXPECT_TRUE(state_->waitFor([&] { return state_->assetsAlive == 0; }));
}

TEST_F(DetectTest, ABlockedLoadIsCancelledAtTheDeadline) {
    framework_->behaviours["A.mov"] = {Load::blockUntilCancelled, {}};
    const auto start = Clock::now();
    EXPECT_EQ(detect({clip("A.mov")}), std::nullopt);
    EXPECT_GE(Clock::now() - start, CameraMetadata::fallbackTimeLimit - 50ms);
    // The cancelled load returns and its thread ends without any release from the test.
    EXPECT_TRUE(state_->waitFor([&] { return state_->assetsAlive == 0 && state_->loading == 0; }));
}

TEST_F(DetectTest, CancellationDuringABlockedFallbackEndsTheWait) {
    framework_->behaviours["A.mov"] = {Load::blockIgnoringCancel, {}};
    std::stop_source stop;
    std::jthread canceller([&] {
        state_->waitFor([&] { return state_->loading == 1; });
        stop.request_stop();
    });
    const auto start = Clock::now();
    EXPECT_EQ(detect({clip("A.mov"), namedClip("B.mov")}, stop.get_token()), std::nullopt);
    // Ended by the cancellation, well before the 2-second limit would have.
    EXPECT_LT(Clock::now() - start, CameraMetadata::fallbackTimeLimit);
    EXPECT_EQ(opened(), std::vector<std::string>{"A.mov"});
    std::lock_guard lock(state_->mutex);
    EXPECT_GE(state_->cancels, 1);
}

TEST_F(DetectTest, FallbackThreadsEndWhenTheirLoadReturns) {
    framework_->behaviours["A.mov"] = {Load::blockIgnoringCancel, {}};
    EXPECT_EQ(detect({clip("A.mov")}), std::nullopt);
    EXPECT_GE(runningFallbackLoads(), 1u);
    state_->release();
    EXPECT_TRUE(state_->waitFor([&] { return state_->assetsAlive == 0; }));
}

TEST_F(DetectTest, BlockedFallbacksDoNotPileUpWithoutBound) {
    // Each detection leaves one load blocked (cancelled by its caller while blocked, the
    // stand-in for a dead device) until the process-wide limit refuses to start another.
    framework_->behaviours["A.mov"] = {Load::blockIgnoringCancel, {}};
    const std::filesystem::path blocked = clip("A.mov");
    int started = 0;
    bool refused = false;
    for (std::size_t round = 0; round <= CameraMetadata::runningFallbackLimit && !refused;
         ++round) {
        std::stop_source stop;
        std::jthread canceller([&, round] {
            state_->waitFor([&] {
                return state_->loading == static_cast<int>(round) + 1 ||
                       state_->detectionsEnded > static_cast<int>(round);
            });
            stop.request_stop();
        });
        EXPECT_EQ(detect({blocked}, stop.get_token()), std::nullopt);
        const std::size_t running = runningFallbackLoads();
        {
            std::lock_guard lock(state_->mutex);
            ++state_->detectionsEnded;
            if (state_->opened.size() == static_cast<std::size_t>(started)) {
                refused = true;
                EXPECT_GE(running, CameraMetadata::runningFallbackLimit);
            }
            started = static_cast<int>(state_->opened.size());
        }
        state_->changed.notify_all();
    }
    EXPECT_TRUE(refused);
    EXPECT_GE(started, 1);
    EXPECT_LE(started, static_cast<int>(CameraMetadata::runningFallbackLimit));
    // Released, they all end; then fallbacks start again.
    state_->release();
    EXPECT_TRUE(state_->waitFor([&] { return state_->assetsAlive == 0; }));
}

} // namespace
} // namespace quaymark::test
