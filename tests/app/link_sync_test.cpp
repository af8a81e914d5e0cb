// Two instances of the program in one Ableton Link session, on a network of
// the test's own: they share the tempo, start and stop together, and their
// hits fall on the same moments.

#include "app/program.h"
#include "scripted_prompts.h"
#include "support/private_network.h"
#include "support/scratch_rig.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>

namespace qx375::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kSound = 3;

// One instance: its own output on the null clock, and sound channels that
// log the frame of every start.
struct Instance {
    FakeLog log;
    FakeSystem system{log};
    RecordingNotifier notifier;
    AudioOutput output{AudioBackendKind::null_clock};
    ScriptedPrompts prompts{notifier};
    Program program{output, prompts, system};

    Instance() {
        program.window.FormActivate();
        for (int k = 0; k < kSounds; ++k) {
            program.song.set_sample_file(k, ScratchRig::sample(k));
        }
        matrice& song = program.song;
        song.song[1] = 1;
        song.song[2] = kEndMarker;
        song.patterns[1].size = 16;
        song.patterns[1].empty = 0;
        for (int s = 0; s < 16; s += 2) {
            song.patterns[1].steps[kSound][s] = 1;
        }
        program.window.findChild<QCheckBox*>("CheckBoxLoop")->setChecked(true);
        program.window.findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
        log.starts.clear();
    }

    void choose(const char* item) {
        auto* action = program.window.findChild<QAction*>(item);
        ASSERT_NE(action, nullptr) << item;
        action->trigger();
    }
    void press_play() { program.window.findChild<QAbstractButton*>("BitBtnAction")->click(); }
    bool playing() const {
        return program.window.findChild<QCheckBox*>("CheckBoxBeat")->isChecked();
    }
    QSlider* tempo() const { return program.window.findChild<QSlider*>("TrackBarBPM"); }
    QString title() const { return program.window.windowTitle(); }

    // When each hit of the sound was heard, by the output's clock.
    std::vector<Clock::time_point> hits() const {
        const ClockReading reading = output.clock().read();
        std::vector<Clock::time_point> times;
        for (const auto& [sound, frame] : log.starts) {
            if (sound == kSound) {
                const double after =
                    (static_cast<double>(frame) - static_cast<double>(reading.frame)) /
                    output.rate();
                times.push_back(reading.time + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(after)));
            }
        }
        return times;
    }
};

bool wait_for(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto until = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > until) {
            return false;
        }
        QTest::qWait(10);
    }
    return true;
}

struct LinkedInstances : ::testing::Test {
    void SetUp() override {
        const std::string outside = outside_interfaces();
        ASSERT_TRUE(outside.empty()) << "Link would announce itself on " << outside
                                     << "; run this test through tests/support/private_network.sh";
        QImage glyph(16, 16, QImage::Format_RGB32);
        glyph.fill(Qt::green);
        glyph.save("go2.bmp");
        glyph.save("stop2.bmp");
        leader = std::make_unique<Instance>();
        follower = std::make_unique<Instance>();
    }

    ScratchRig files;
    std::unique_ptr<Instance> leader;
    std::unique_ptr<Instance> follower;
};

TEST_F(LinkedInstances, ShareTempoStartStopAndTheirHitsMoments) {
    leader->choose("SyncLead1");
    leader->choose("SyncLink1");
    follower->choose("SyncFollow1");
    follower->choose("SyncLink1");
    ASSERT_TRUE(wait_for([&] { return follower->title().contains("1 other"); }, 10s))
        << follower->title().toStdString();

    // 100 is 133.9 BPM at 16 steps: within one beat, the follower's slider
    // shows it too.
    leader->tempo()->setValue(100);
    ASSERT_TRUE(wait_for([&] { return follower->tempo()->value() == 100; }, 450ms));

    leader->press_play();
    ASSERT_TRUE(wait_for([&] { return follower->playing() && leader->playing(); }, 3s));
    QTest::qWait(8000);
    follower->press_play(); // a stop from either stops both
    ASSERT_TRUE(wait_for([&] { return !follower->playing() && !leader->playing(); }, 2s));

    const auto led = leader->hits();
    const auto followed = follower->hits();
    ASSERT_GE(led.size(), 20u);
    ASSERT_LE(std::abs(static_cast<int>(led.size()) - static_cast<int>(followed.size())), 1);
    std::size_t matched = 0;
    double widest = 0;
    for (const Clock::time_point hit : led) {
        const auto nearest =
            std::min_element(followed.begin(), followed.end(), [&](auto a, auto b) {
                return std::chrono::abs(a - hit) < std::chrono::abs(b - hit);
            });
        const double apart = std::chrono::duration<double, std::milli>(*nearest - hit).count();
        if (std::abs(apart) < 100) {
            ++matched;
            widest = std::max(widest, std::abs(apart));
        }
    }
    EXPECT_GE(matched + 1, led.size());
    EXPECT_LT(widest, 1.0) << "ms between the two instances' hits";
    RecordProperty("widest_apart_us", static_cast<int>(widest * 1000));

    // The leader goes away: the follower says so and goes on.
    leader.reset();
    EXPECT_TRUE(wait_for([&] { return follower->title().contains("0 other"); }, 5s))
        << follower->title().toStdString();
    follower->press_play();
    EXPECT_TRUE(wait_for([&] { return follower->playing(); }, 3s));
    follower->press_play();
}

} // namespace
} // namespace qx375::test
