// Files dragged onto the window: a sample onto a sound's row, a song onto
// anywhere, and what is no file of ours, or more than one, not taken.

#include "ui_rig.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx375::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class DropTest : public ::testing::Test, public UiRig {
protected:
    DropTest() { notifier.shown.clear(); }

    // A point of the window on the row of `sound`, far right, over the grid.
    QPoint on_row(int sound) const {
        const QPushButton* button = find<QPushButton>(QString("ButtonF%1").arg(sound + 1));
        const QPoint centre = button->mapTo(&window, button->rect().center());
        return {window.width() - 10, centre.y()};
    }

    static std::unique_ptr<QMimeData> files(const std::vector<std::string>& paths) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const std::string& path : paths) {
            urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
        }
        data->setUrls(urls);
        return data;
    }

    // Whether the window takes the drag in; and the drop, after it, as a
    // user's hand brings them.
    bool drag(const std::vector<std::string>& paths, QPoint at) {
        const std::unique_ptr<QMimeData> data = files(paths);
        QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        return enter.isAccepted();
    }
    bool drop(const std::vector<std::string>& paths, QPoint at) {
        if (!drag(paths, at)) {
            return false;
        }
        const std::unique_ptr<QMimeData> data = files(paths);
        QDropEvent event(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
        return event.isAccepted();
    }
};

// A sample dropped on a row is that sound's, as one change the user can
// undo; dropped between rows or above them it goes nowhere.
TEST_F(DropTest, ASampleGoesToTheRowItIsDroppedOn) {
    const std::string file = dir.write("new.wav", simple_wav(ramp(16)));
    window.modified = false;
    ASSERT_TRUE(drop({file}, on_row(6)));
    EXPECT_EQ(song.get_sample_file(6), file);
    EXPECT_TRUE(window.modified);
    for (int k = 0; k < kSounds; ++k) {
        if (k != 6) {
            EXPECT_EQ(song.get_sample_file(k), sample(k)) << "sound " << k;
        }
    }
    window.findChild<QAction*>("Undo1")->trigger();
    EXPECT_EQ(song.get_sample_file(6), sample(6));

    EXPECT_FALSE(drop({file}, QPoint(window.width() - 10, 2))) << "above every row";
    EXPECT_EQ(song.get_sample_file(6), sample(6));
    EXPECT_THAT(notifier.shown, IsEmpty());
}

TEST_F(DropTest, ASampleThatDoesNotPlayIsRefusedAsTheDialogRefusesIt) {
    const std::string file = dir.write_text("hat.wav", "not a sound");
    window.modified = false;
    EXPECT_TRUE(drop({file}, on_row(0)));
    EXPECT_EQ(song.get_sample_file(0), sample(0));
    EXPECT_FALSE(window.modified);
    EXPECT_THAT(notifier.shown,
                ElementsAre("Cannot use the sound file\n" + file + ": it is not a WAV file"));
}

// A song dropped anywhere opens as Open does, after the question about the
// song in memory: Cancel keeps that song.
TEST_F(DropTest, ASongOpensAfterTheSaveQuestion) {
    song.set_song_entry(1, 7);
    const std::string file = (dir.path() / "other.drm").string();
    ASSERT_TRUE(song.save_drm(file));
    song.set_song_entry(1, 3);
    window.modified = true;

    prompts.answers.push_back(Answer::cancel);
    EXPECT_TRUE(drop({file}, QPoint(20, 20)));
    EXPECT_EQ(song.get_song_entry(1), 3);
    EXPECT_EQ(edit("EditFileName")->text(), "");

    prompts.answers.push_back(Answer::no);
    EXPECT_TRUE(drop({file}, on_row(3)));
    EXPECT_EQ(song.get_song_entry(1), 7);
    EXPECT_EQ(edit("EditFileName")->text().toStdString(), file);
    EXPECT_FALSE(window.modified);
}

TEST_F(DropTest, NoFileOfOursOrMoreThanOneIsNotTaken) {
    const std::string text = dir.write_text("notes.txt", "words");
    const std::string a = dir.write("a.wav", simple_wav(ramp(16)));
    const std::string b = dir.write("b.wav", simple_wav(ramp(16)));
    EXPECT_FALSE(drag({text}, on_row(2)));
    EXPECT_FALSE(drag({a, b}, on_row(2))) << "which one would it be?";
    EXPECT_FALSE(drop({a, b}, on_row(2)));
    EXPECT_FALSE(drag({}, on_row(2)));
    EXPECT_EQ(song.get_sample_file(2), sample(2));
    EXPECT_THAT(prompts.asked, IsEmpty());
}

} // namespace
} // namespace qx375::test
