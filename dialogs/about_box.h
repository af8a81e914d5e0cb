#pragma once

#include <QDialog>

class QLabel;

namespace qx375 {

// "A propos de Pulsomat": the program's name, release and makers, with OK.
class TAboutBox : public QDialog {
public:
    explicit TAboutBox(QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* icon_;
};

} // namespace qx375
