#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>

#include <functional>

namespace qx375 {

// A box of radio items in one column. Its item index is -1 while no item is
// selected; on_click runs whenever an item becomes selected, by the user or by
// code, and never when the selection is cleared or an item is picked again.
class RadioGroup : public QGroupBox {
public:
    RadioGroup(const QString& caption, const QStringList& items, QWidget* parent);

    int item_index() const { return buttons_.checkedId(); }
    void set_item_index(int index);
    int count() const { return static_cast<int>(buttons_.buttons().size()); }
    QRadioButton* item(int index) const {
        return static_cast<QRadioButton*>(buttons_.button(index));
    }

    // Puts the items on fixed rows instead of sharing the box evenly; the
    // rows are given for the box's present height and follow it.
    void set_item_rows(int top, int row_height) {
        rows_top_ = top;
        rows_height_ = row_height;
        rows_group_height_ = height();
    }

    std::function<void()> on_click;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QButtonGroup buttons_;
    int rows_top_ = -1;
    int rows_height_ = 0;
    int rows_group_height_ = 0;
};

} // namespace qx375
