#pragma once

#include <QDialog>

namespace qx375 {

// "A propos de Pulsomat": the program's name, release and makers, with OK.
class TAboutBox : public QDialog {
public:
    explicit TAboutBox(QWidget* parent);
};

} // namespace qx375
