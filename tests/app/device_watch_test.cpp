#include "app/tmain.h"
#include "engine/engine_rig.h"
#include "scripted_prompts.h"
#include "support/fake_card.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QImage>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;

constexpr int kPolls = 3 * DeviceWatch::kInterval.count();

// The main window over an output whose card the test controls.
class DeviceWatchTest : public ::testing::Test, public EngineRig {
protected:
    void start_program(bool card) {
        shop.available = card;
        output = std::make_unique<AudioOutput>(card_opener(shop));
        recorder = std::make_unique<WaveRecorder>(output->capture(), AudioOutput::kRate);
        window = std::make_unique<Tmain>(song, sound, *output, *recorder, prompts);
        QImage glyph(16, 16, QImage::Format_RGB32);
        glyph.fill(Qt::green);
        glyph.save("go2.bmp");
        glyph.save("stop2.bmp");
        window->FormActivate();
        // A first start finds no recent song to load, and says so.
        std::erase(notifier.shown, window->load_failure_text);
    }

    void play(bool on) { window->findChild<QCheckBox*>("CheckBoxBeat")->setChecked(on); }
    void press_start_stop() { window->findChild<QAbstractButton*>("BitBtnAction")->click(); }

    // The card in use goes away, and the watch lets it go.
    void lose_card() {
        shop.current->gone = true;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return output->backend() == AudioBackendKind::null_clock; }, 2000));
    }

    CardShop shop;
    ScriptedPrompts prompts{notifier};
    std::unique_ptr<AudioOutput> output;
    std::unique_ptr<WaveRecorder> recorder;
    std::unique_ptr<Tmain> window;
};

// The message box of the loss lets the timers run while it is open: the
// beat goes on under it, and the watch does not stack a second box on it.
TEST_F(DeviceWatchTest, CardLostWhilePlayingIsToldOnceAndTheBeatGoesOn) {
    start_program(true);
    play(true);
    std::uint64_t frame_at_loss = 0;
    std::uint64_t frame_after_box = 0;
    notifier.while_open = [&] {
        notifier.while_open = nullptr;
        frame_at_loss = window->timer().tick_frame();
        QTest::qWait(kPolls);
        frame_after_box = window->timer().tick_frame();
    };
    lose_card();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frame_after_box != 0; }, 2000));
    EXPECT_THAT(notifier.shown, ElementsAre(window->texts[Msg::device_lost]));
    EXPECT_GT(frame_after_box, frame_at_loss) << "the beat stopped";
    QTest::qWait(kPolls);
    EXPECT_EQ(notifier.shown.size(), 1u);
    EXPECT_TRUE(window->timer().isEnabled());
    EXPECT_EQ(shop.asked, 1) << "the card is tried again only at a start";
}

TEST_F(DeviceWatchTest, EachStartOfPlaybackTriesTheCardAgain) {
    start_program(true);
    play(true);
    lose_card();
    play(false);

    shop.available = false;
    play(true);
    EXPECT_EQ(shop.asked, 2);
    EXPECT_EQ(output->backend(), AudioBackendKind::null_clock);
    play(false);

    shop.available = true;
    play(true);
    EXPECT_EQ(shop.asked, 3);
    EXPECT_EQ(output->backend(), AudioBackendKind::sdl);
    EXPECT_TRUE(shop.current->started);
    EXPECT_THAT(notifier.shown, ElementsAre(window->texts[Msg::device_lost]))
        << "still silent is not told twice, and a card back is not told";
}

// Stopped, the card is not watched; the start finds it gone, and the user
// hears of it when it cannot be had again, as of a new loss.
TEST_F(DeviceWatchTest, CardLostWhileStoppedIsFoundAtTheNextStart) {
    start_program(true);
    play(true);
    lose_card();
    play(false);
    play(true);
    play(false);
    notifier.shown.clear();

    shop.current->gone = true;
    QTest::qWait(kPolls);
    EXPECT_EQ(output->backend(), AudioBackendKind::sdl);
    EXPECT_TRUE(notifier.shown.empty());

    shop.available = false;
    notifier.while_open = [&] {
        notifier.while_open = nullptr;
        QTest::qWait(kPolls);
    };
    play(true);
    EXPECT_EQ(output->backend(), AudioBackendKind::null_clock);
    EXPECT_THAT(notifier.shown, ElementsAre(window->texts[Msg::device_lost]))
        << "the polls that run while the box is open show no second one";
}

// The start/stop button runs the box's handler twice: one start, one try.
TEST_F(DeviceWatchTest, NoCardAtAllIsToldAtStartUpAndTriedOncePerStart) {
    start_program(false);
    EXPECT_THAT(notifier.shown, ElementsAre(window->texts[Msg::device_not_opened]));
    for (int i = 0; i < 3; ++i) {
        press_start_stop();
        ASSERT_TRUE(window->timer().isEnabled());
        press_start_stop();
    }
    EXPECT_EQ(shop.asked, 1 + 3);
    EXPECT_EQ(notifier.shown.size(), 1u);

    shop.available = true;
    press_start_stop();
    EXPECT_EQ(output->backend(), AudioBackendKind::sdl);
    EXPECT_EQ(notifier.shown.size(), 1u);
}

} // namespace
} // namespace qx375::test
