// SPDX-License-Identifier: GPL-3.0-or-later
#include "CameraTestSupport.h"
#include "TestFiles.h"
#include "ingest/camera/CameraMetadata.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>

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
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> opened; // in order
    std::set<std::string> cancelled;
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
    std::optional<std::string> detect(const std::vector<std::filesystem::path>& clips) {
        return CameraMetadata::detect(clips, {}, fake_);
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
    // Only QuickTime clips, in any case, count, and only the first eight of them: the ninth is
    // not read although the reader would name it, nor are the named clips of other kinds.
    std::vector<std::filesystem::path> clips;
    for (int i = 0; i < 10; ++i) {
        clips.push_back(namedClip("C" + std::to_string(i) + ".MXF"));
        const std::string name = "C" + std::to_string(i) + (i % 2 ? ".mOv" : ".mp4");
        clips.push_back(i == 8 ? namedClip(name) : clip(name));
    }
    EXPECT_EQ(detect(clips), std::nullopt);
    EXPECT_EQ(seen(&FakeFramework::opened),
              (std::vector<std::string>{"C0.mp4", "C1.mOv", "C2.mp4", "C3.mOv", "C4.mp4", "C5.mOv",
                                        "C6.mp4", "C7.mOv"}));
    fake_->items["x.M4V"] = sony;
    EXPECT_EQ(detect({namedClip("x.M4V")}), "Canon EOS R5") << "the reader before the fallback";
}

TEST_F(DetectTest, AFallbackThatBlocksIsCancelledAndAbandonedAtTheDeadline) {
    fake_->blocking = {"A.mov"};
    fake_->items["B.mov"] = sony;
    EXPECT_EQ(detect({clip("A.mov"), clip("B.mov")}), "SONY ILCE-7SM3");
    EXPECT_TRUE(seen(&FakeFramework::cancelled).contains("A.mov"));
    EXPECT_EQ(seen(&FakeFramework::alive), 1); // A's, still blocked: detection did not wait for it
}

} // namespace
} // namespace quaymark::test
