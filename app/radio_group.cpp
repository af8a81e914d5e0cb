#include "app/radio_group.h"

#include "display/affichage.h"

#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <algorithm>

namespace qx375 {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), buttons_(this) {
    mark_radio_group(*this);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        buttons_.addButton(button, i);
    }
    connect(&buttons_, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on && on_click) {
            on_click();
        }
    });
}

void RadioGroup::set_item_index(int index) {
    if (index < 0) {
        // An exclusive group will not let its last item go.
        buttons_.setExclusive(false);
        if (QAbstractButton* checked = buttons_.checkedButton()) {
            checked->setChecked(false);
        }
        buttons_.setExclusive(true);
    } else if (QAbstractButton* button = buttons_.button(index)) {
        button->setChecked(true);
    }
}

// Unless given rows, items share the room inside the frame evenly.
void RadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    const int n = count();
    if (n == 0) {
        return;
    }
    // Fixed rows keep their places as the group is scaled.
    const double scale = rows_top_ < 0 || rows_group_height_ <= 0
                             ? 1.0
                             : static_cast<double>(height()) / rows_group_height_;
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QRect room =
        style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, this);
    int top = static_cast<int>(rows_top_ * scale);
    int row = static_cast<int>(rows_height_ * scale);
    if (rows_top_ < 0) {
        top = room.top();
        row = room.height() / n;
    }
    // No item runs over the frame, the last of fixed rows included.
    for (int i = 0; i < n; ++i) {
        const int at = top + i * row;
        item(i)->setGeometry(room.left(), at, room.width(),
                             std::max(0, std::min(row, room.bottom() + 1 - at)));
    }
}

} // namespace qx375
