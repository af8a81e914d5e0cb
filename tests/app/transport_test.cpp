#include "ui_rig.h"

#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;

class TransportTest : public ::testing::Test, public UiRig {
protected:
    // Song order 1: 3, 2: 5, 3: End, played in song mode.
    void three_five_end(bool loop) {
        place(1, 3);
        place(2, 5);
        place(3, kEndMarker);
        song.change_pattern(3, [&](pattern_record& p) { p.size = 16; });
        hit(3, 3, 0);
        hit(5, 6, 0);
        check("CheckBoxLoop")->setChecked(loop);
        play_mode()->set_item_index(1);
        ASSERT_EQ(song.get_measure(), 1);
        check("CheckBoxBeat")->setChecked(true);
        played();
    }

    void ticks(int n) {
        for (int i = 0; i < n; ++i) {
            window.TimerZicmuTimer();
        }
    }
};

TEST_F(TransportTest, SongPlaysItsPatternsThenStopsAtTheEnd) {
    three_five_end(false);
    ticks(16 + 24);
    EXPECT_THAT(played(), ElementsAre("b4", "b7"));
    EXPECT_FALSE(window.timer().isEnabled());
    EXPECT_FALSE(check("CheckBoxBeat")->isChecked());
    EXPECT_EQ(song.get_measure(), 1);
    EXPECT_EQ(window.current_pattern, 3);
}

// The sound setup follows the music: each pattern start shows the new
// pattern's mix.
TEST_F(TransportTest, APatternStartRefreshesTheSoundSetup) {
    three_five_end(false);
    setup.set_sound_index(5);
    setup.refresh();
    song.change_pattern(5, [&](pattern_record& p) { p.volume[5] = -3000; });
    ticks(16);
    EXPECT_EQ(setup.findChild<QLineEdit*>("EditVol")->text(), "7000");
    EXPECT_EQ(setup.findChild<QLineEdit*>("EditMesure")->text(), "2");
}

TEST_F(TransportTest, LoopedSongStartsAgainFromMeasureOne) {
    three_five_end(true);
    ticks(16 + 24 + 1);
    EXPECT_THAT(played(), ElementsAre("b4", "b7", "b4"));
    EXPECT_TRUE(window.timer().isEnabled());
}

// Through the real timer: its ticks stamp their sounds with the frame of their
// grid point; the errors they raise are shown and end only that tick.
TEST_F(TransportTest, TimerTicksStampTheirSoundsAndShowTheirErrors) {
    hit(0, 2, 0);
    hit(0, 5, 0);
    hit(0, 9, 0);
    log.refuse["b6.Play"] = DSERR_GENERIC;
    check("CheckBoxBeat")->setChecked(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notifier.shown.empty(); }, 2000));
    check("CheckBoxBeat")->setChecked(false);
    EXPECT_EQ(notifier.shown.front(), "Erreur sur Play canal 5");
    ASSERT_GE(log.calls.size(), 2u);
    EXPECT_EQ(log.calls.front(),
              "set_target_frame(" + std::to_string(window.timer().tick_frame()) + ")");
    EXPECT_GT(window.timer().tick_frame(), 0u);
    EXPECT_THAT(log.starts, ElementsAre(std::pair(2, window.timer().tick_frame()),
                                        std::pair(5, window.timer().tick_frame())))
        << "the hits carry the frame of their tick; those after the refused one are not started";
    EXPECT_THAT(std::vector<std::string>(log.calls.end() - 5, log.calls.end()),
                ElementsAre("b6.Stop", "b6.SetCurrentPosition(0)", "b6.Play(0,0,0)",
                            "set_target_frame(0)", "end_notes(0)"))
        << "stopping ends the notes sent out";
    EXPECT_EQ(song.get_step(), 0) << "the next tick tries the same step again";
}

// An error box raised by a tick holds the timer until it is closed, so that
// a failing step shows one box, not a pile of them.
TEST_F(TransportTest, NoTickRunsWhileTheErrorBoxOfATickIsOpen) {
    hit(0, 5, 0);
    log.refuse["b6.Play"] = DSERR_GENERIC;
    auto plays = [&] { return std::count(log.calls.begin(), log.calls.end(), "b6.Play(0,0,0)"); };
    std::ptrdiff_t during = -1;
    notifier.while_open = [&] {
        notifier.while_open = nullptr;
        const auto before = plays();
        QTest::qWait(400);
        during = plays() - before;
    };
    check("CheckBoxBeat")->setChecked(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return during >= 0; }, 3000));
    check("CheckBoxBeat")->setChecked(false);
    EXPECT_EQ(during, 0);
    EXPECT_EQ(notifier.shown.size(), 1u);
}

// Both sliders have their minimum at the top: keys move the handle the way
// their arrows point.
TEST_F(TransportTest, SliderKeysMoveTheHandleTheWayTheirArrowsPoint) {
    for (const char* name : {"TrackBarBPM", "TrackBarVolume"}) {
        QSlider* s = slider(name);
        const int middle = (s->minimum() + s->maximum()) / 2;
        s->setValue(middle);
        QTest::keyClick(s, Qt::Key_Up);
        EXPECT_LT(s->value(), middle) << name << ": up goes towards the top";
        s->setValue(middle);
        QTest::keyClick(s, Qt::Key_PageDown);
        EXPECT_GT(s->value(), middle) << name << ": page down goes towards the bottom";
    }
}

TEST_F(TransportTest, IntervalFollowsTheRuleThatRanLast) {
    struct Row {
        int position;
        std::array<int, 6> by_size;   // after a size change
        std::array<int, 6> by_slider; // after a slider move
    };
    const Row rows[] = {
        {100, {58, 62, 66, 83, 87, 100}, {128, 120, 112, 90, 85, 75}},
        {120, {70, 75, 79, 100, 105, 120}, {154, 144, 135, 108, 102, 90}},
    };
    for (const Row& row : rows) {
        slider("TrackBarBPM")->setValue(row.position);
        for (int item = 0; item < 6; ++item) {
            sizes()->set_item_index(item);
            EXPECT_EQ(window.timer().interval(), row.by_size[item]) << row.position << " " << item;
            slider("TrackBarBPM")->setValue(row.position + 1);
            slider("TrackBarBPM")->setValue(row.position);
            EXPECT_EQ(window.timer().interval(), row.by_slider[item])
                << row.position << " " << item;
        }
    }
    EXPECT_EQ(edit("EditBPM")->text(), "120");
    EXPECT_EQ(song.pattern(0).tempo, 120);
}

TEST_F(TransportTest, StartOnTheEndMarkerGoesBackToTheBeginning) {
    play_mode()->set_item_index(1);
    place(4, kEndMarker);
    song.go_to_measure(4);
    song.go_to_step(6);
    check("CheckBoxBeat")->setChecked(true);
    EXPECT_EQ(song.get_measure(), 1);
    EXPECT_EQ(song.get_step(), 0);
    EXPECT_TRUE(window.timer().isEnabled());
}

TEST_F(TransportTest, StartStopButtonFlipsTheOnBox) {
    press("BitBtnAction");
    EXPECT_TRUE(check("CheckBoxBeat")->isChecked());
    EXPECT_TRUE(window.timer().isEnabled());
    press("BitBtnAction");
    EXPECT_FALSE(window.timer().isEnabled());
}

TEST_F(TransportTest, MissingGlyphIsReportedAndTheTimerIsNotSwitched) {
    std::filesystem::remove("stop2.bmp");
    check("CheckBoxBeat")->setChecked(true);
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_THAT(notifier.shown[0], ::testing::HasSubstr("stop2.bmp"));
    EXPECT_FALSE(window.timer().isEnabled());
}

// A tempo typed into the box goes through the slider as a move of the
// user's would; Enter there takes it instead of starting playback, and
// anything but a tempo shows the one in force again.
TEST_F(TransportTest, ATempoTypedAndEnterMovesTheSlider) {
    QLineEdit* box = edit("EditBPM");
    box->setFocus();
    box->setText("100");
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(slider("TrackBarBPM")->value(), 144);
    EXPECT_EQ(box->text(), "100");
    EXPECT_FALSE(check("CheckBoxBeat")->isChecked()) << "Enter did not start playback";
    for (const char* typed : {"0", "", "1000"}) {
        box->setText(typed);
        QTest::keyClick(box, Qt::Key_Return);
    }
    EXPECT_EQ(slider("TrackBarBPM")->value(), 40) << "1000 goes to the fastest end";
    EXPECT_EQ(box->text(), "360");
    box->setText("12");
    emit box->editingFinished();
    EXPECT_EQ(box->text(), "360") << "left without Enter";
}

// However playback stops, a running export is finished and its take
// written before a start and stop picture that cannot be read stops the
// handler; the next export is not refused.
TEST_F(TransportTest, AMissingPictureNeverCostsTheExport) {
    prompts.files.push_back("take.wav");
    window.Export1Click();
    ASSERT_TRUE(window.exporting);
    std::filesystem::remove("go2.bmp");
    prompts.answers.push_back(Answer::yes); // keep a take the output never mixed
    check("CheckBoxBeat")->setChecked(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.exporting; }, 5000));
    EXPECT_TRUE(std::filesystem::exists("take.wav"));
    EXPECT_THAT(notifier.shown, ::testing::Contains(::testing::HasSubstr("go2.bmp")));
    prompts.files.push_back(std::nullopt);
    notifier.shown.clear();
    window.Export1Click();
    EXPECT_TRUE(notifier.shown.empty()) << "not refused as recording already";
}

// The pictures are found whatever their letter case, as the other fixed
// names of the program directory are.
TEST_F(TransportTest, ThePicturesAreFoundWhateverTheirLetterCase) {
    std::filesystem::rename("go2.bmp", "GO2.BMP");
    std::filesystem::rename("stop2.bmp", "Stop2.Bmp");
    notifier.shown.clear();
    press("BitBtnAction");
    press("BitBtnAction");
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_FALSE(find<QPushButton>("BitBtnAction")->icon().isNull());
}

} // namespace
} // namespace qx375::test
