#include "display/affichage.h"

#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QRect>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>

namespace qx375 {
namespace {

constexpr const char* kRadioGroupProperty = "qx375_radio_group";
constexpr int kFrame = 8;

// How the scaling treats one class of control.
struct Kind {
    bool font;           // its font size follows the vertical factor
    int extra_width;     // pixels added to the width before it is scaled
    bool holds_controls; // the window's controls may sit inside it
};

constexpr Kind kFontControl{true, 0, false};
constexpr Kind kPlainControl{false, 0, false};

std::optional<Kind> kind_of(const QWidget& w) {
    // A radio group lays out its items itself: they are its parts, not
    // controls of the window.
    if (w.property(kRadioGroupProperty).toBool()) {
        return kPlainControl;
    }
    const std::string_view name = w.metaObject()->className();
    if (name == "QLabel") {
        // A label showing a picture has no text to scale.
        return static_cast<const QLabel&>(w).pixmap().isNull() ? kFontControl : kPlainControl;
    }
    if (name == "QGroupBox") {
        return Kind{true, 0, true};
    }
    if (name == "QComboBox") {
        return Kind{true, 6, false};
    }
    for (std::string_view font_class :
         {"QPushButton", "QCheckBox", "QLineEdit", "QToolButton", "QRadioButton"}) {
        if (name == font_class) {
            return kFontControl;
        }
    }
    if (name == "QProgressBar" || name == "QSlider") {
        return kPlainControl;
    }
    return std::nullopt;
}

bool holds_controls(const QWidget& w) {
    const std::optional<Kind> kind = kind_of(w);
    return !kind || kind->holds_controls;
}

int truncated(double value) {
    return static_cast<int>(value);
}

// Calls f on every control inside `container` that belongs to the window:
// child windows, Qt's helper widgets and the parts of a control are not
// among them.
template <typename F>
void for_each_control(QWidget& container, F&& f) {
    for (QObject* child : container.children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && w->isWindow()) {
            continue;
        }
        if (!child->objectName().startsWith("qt_")) {
            f(child);
        }
        if (w && holds_controls(*w)) {
            for_each_control(*w, f);
        }
    }
}

void scale_font(QWidget& w, double fy) {
    // Qt hands a font on to the children that have none of their own, so a
    // control inside a group box would shrink once with the group and again
    // in its own turn. Each control inside keeps its present font as its own
    // first, and so shrinks once whatever the order the controls come in.
    if (holds_controls(w)) {
        for_each_control(w, [](QObject* inner) {
            auto* control = qobject_cast<QWidget*>(inner);
            if (control && kind_of(*control)) {
                QFont own = control->font();
                own.setResolveMask(own.resolveMask() | QFont::SizeResolved);
                control->setFont(own);
            }
        });
    }
    QFont font = w.font();
    if (font.pixelSize() > 0) {
        font.setPixelSize(std::max(1, truncated(font.pixelSize() * fy)));
    } else {
        font.setPointSize(std::max(1, truncated(font.pointSizeF() * fy)));
    }
    w.setFont(font);
}

// The window keeps to the room it is given, a fixed size included.
void limit_window(QWidget& window, QSize available) {
    if (window.width() <= available.width() && window.height() <= available.height()) {
        return;
    }
    const QSize limited = window.size().boundedTo(available);
    window.setMinimumSize(window.minimumSize().boundedTo(limited));
    window.setMaximumSize(window.maximumSize().boundedTo(available));
    window.resize(limited);
}

double factor(int screen, int window) {
    if (screen <= kFrame || window <= kFrame) {
        return 1.0;
    }
    return static_cast<double>(std::min(screen, window) - kFrame) / (window - kFrame);
}

} // namespace

double density_factor(double logical_dpi) {
    constexpr double kDesignDpi = 120.0;
    constexpr double kStandardDpi = 96.0;
    if (!(logical_dpi > 0.0) || !std::isfinite(logical_dpi)) {
        logical_dpi = kStandardDpi;
    }
    return logical_dpi / kDesignDpi;
}

int to_screen(int design, double density) {
    return static_cast<int>(std::lround(design * density));
}

ScaleFactors screen_factors(QSize screen, QSize window) {
    return {factor(screen.width(), window.width()), factor(screen.height(), window.height())};
}

void mark_radio_group(QGroupBox& group) {
    group.setProperty(kRadioGroupProperty, true);
}

void scale_control(QObject* component, [[maybe_unused]] int index, double fx, double fy) {
    auto* w = qobject_cast<QWidget*>(component);
    if (!w || w->isWindow()) {
        return;
    }
    const std::optional<Kind> kind = kind_of(*w);
    if (!kind) {
        return;
    }
    const QRect place = w->geometry();
    const int width = truncated((place.width() + kind->extra_width) * fx);
    const int height = truncated(place.height() * fy);
    const int left = truncated(place.x() * fx);
    const int top = truncated(place.y() * fy);
    w->setGeometry(left, top, width, height);
    // A factor of 1 leaves a font alone: truncation would take the half
    // point off a desktop font of 10.5 points.
    if (kind->font && fy != 1.0) {
        scale_font(*w, fy);
    }
}

void scale_window(QWidget& window, double fx, double fy, QSize available) {
    int index = 0;
    for_each_control(window,
                     [&](QObject* component) { scale_control(component, index++, fx, fy); });
    limit_window(window, available);
}

} // namespace qx375
