#include "app/tmain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>

namespace qx375 {

bool Tmain::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        guarded([&] { FormActivate(); });
    } else if (event->type() == QEvent::WindowDeactivate && !QApplication::activeModalWidget()) {
        // Left for another program, not for one of our own boxes: what the
        // set-up could not do is tried again on the way back.
        retry_armed_ = true;
    } else if (event->type() == QEvent::Show) {
        if (!event->spontaneous()) {
            centre_on_screen();
        }
        // Without a window manager (a bare X server, offscreen) the window is
        // never activated; being shown then stands for the first activation.
        if (first_activation) {
            QTimer::singleShot(0, this, [this] {
                if (first_activation) {
                    guarded([&] { FormActivate(); });
                }
            });
        }
    }
    return QMainWindow::event(event);
}

// The window opens in the middle of its screen; one larger than the screen
// keeps its top left corner on it, so that its caption stays reachable.
void Tmain::centre_on_screen() {
    const QRect area = screen()->availableGeometry();
    QRect frame = frameGeometry();
    frame.moveCenter(area.center());
    move(std::max(frame.left(), area.left()), std::max(frame.top(), area.top()));
}

// A key typed into the pattern box first redraws the grid, before the box
// takes the key; Enter never reaches the box. In the tempo box Enter takes
// the tempo typed instead of starting playback.
bool Tmain::eventFilter(QObject* watched, QEvent* event) {
    const auto is_enter = [](const QEvent* e) {
        const int key = static_cast<const QKeyEvent*>(e)->key();
        return key == Qt::Key_Return || key == Qt::Key_Enter;
    };
    if (watched == EditNumPattern && event->type() == QEvent::KeyPress) {
        if (!is_enter(event) && !static_cast<QKeyEvent*>(event)->text().isEmpty()) {
            guarded([&] { EditNumPatternKeyPress(); });
        }
    } else if (watched == EditBPM && event->type() == QEvent::ShortcutOverride && is_enter(event)) {
        event->accept();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// The window closes through the close box, Ctrl+C or kill as the close box
// does, or after the Exit command, which has asked its question already.
void Tmain::closeEvent(QCloseEvent* event) {
    bool may_close = exiting_;
    if (!may_close) {
        guarded([&] { may_close = FormCloseQuery(); });
    }
    // Answered: the changes are saved, let go, or still here in memory.
    if (!stopped_) {
        guarded([&] { drop_recovery(); });
    }
    if (may_close) {
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace qx375
