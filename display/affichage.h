#pragma once

#include <QSize>

class QGroupBox;
class QObject;
class QWidget;

namespace qx375 {

// The main window is drawn at 120 pixels per inch. Its design coordinates and
// its fonts given in pixels reach the screen multiplied by the desktop's
// logical DPI / 120, so that they stay in proportion with the fonts given in
// points, which Qt already sizes by that DPI: 0.8 at 96 dpi, 1.0 at 120,
// 1.2 at 144. A device pixel ratio (HiDPI) is Qt's own business on top.
// A DPI that is not a positive number counts as the standard 96.
double density_factor(double logical_dpi);

// A design coordinate or pixel size on the screen, to the nearest pixel. At
// 96 dpi this is (design * 4 + 2) / 5, the layout as it has always been.
int to_screen(int design, double density);

// Horizontal and vertical factors that shrink a window's controls.
struct ScaleFactors {
    double fx = 1.0;
    double fy = 1.0;
};

// The factors that bring a window down to a screen, each
// (min(screen, window) - 8) / (window - 8): the 8 pixels are the window
// frame, left out of the ratio. A factor is exactly 1 where the screen is at
// least as large as the window; it is also 1 where the screen or the window
// measures 8 pixels or less, since there is no ratio to take.
ScaleFactors screen_factors(QSize screen, QSize window);

// Makes a group box of radio items (a subclass without a class name of its
// own) known to scale_control as a radio group: scaled in place and size,
// with its own font left as it is. Its items are its own parts, which it lays
// out itself: the window's scaling leaves them, and their font, alone.
void mark_radio_group(QGroupBox& group);

// Shrinks one control in place, recognised by its exact class; a subclass
// with a class name of its own is not recognised. Width, height, left and top
// are multiplied by fx, fy, fx and fy, each truncated toward zero; a combo box
// first gains 6 pixels of width, also at factor 1. Buttons, labels, check
// boxes, radio buttons, group boxes, combo boxes, edit boxes and tool buttons
// also have their font size multiplied by fy and truncated to whole points,
// or to whole pixels for a font given in pixels, never below 1; a factor of
// 1 leaves fonts alone. A control inside another has its font shrunk once, in
// its own turn, whatever order the controls are taken in. Labels showing a
// picture, progress bars, sliders and radio groups keep their fonts. Anything
// else (menus, actions, timers, plain widgets, windows) is left unchanged.
// The index is the component's place in its owner's list and changes nothing.
void scale_control(QObject* component, int index, double fx, double fy);

// Applies scale_control to every control the window owns, whatever its
// parent, parents before their children. The parts of a control (a combo
// box's or a spin box's edit box), Qt's own helper widgets (named "qt_...")
// and child windows such as dialogs are not the window's controls and stay as
// they are. The window itself is then limited to `available`, the room it
// may take on the screen (without the frame the window manager adds), and can
// no longer grow past it; a window that fits is left as it is. Call it before
// the window is shown: a shown group that lays out its own items would do so
// at once, and the items would then shrink a second time.
void scale_window(QWidget& window, double fx, double fy, QSize available);

} // namespace qx375
