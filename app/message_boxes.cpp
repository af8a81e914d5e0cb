#include "app/message_boxes.h"

#include <QMessageBox>

namespace qx375 {

void MessageBoxes::show_message(std::string_view text) {
    QMessageBox::information(parent_, "QX375",
                             QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace qx375
