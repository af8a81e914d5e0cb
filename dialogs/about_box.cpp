#include "dialogs/about_box.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace qx375 {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle("A propos de Pulsomat");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    icon_ = new QLabel(this);
    icon_->setObjectName("ProgramIcon");
    auto* name = new QLabel("QX375A", this);
    name->setObjectName("ProductName");
    QFont big = name->font();
    big.setPixelSize(24);
    big.setBold(true);
    name->setFont(big);
    auto* version = new QLabel("Release 0.97", this);
    version->setObjectName("Version");
    auto* credits = new QLabel("Pulsomat, a drum machine of sixteen sounds, written by the QX375 "
                               "developers in C++ with Qt and SDL. Its start-up kit is synthesised "
                               "by the program's own kitgen.",
                               this);
    credits->setObjectName("Comments");
    credits->setWordWrap(true);
    credits->setMinimumWidth(320);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("OKButton");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon_, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(name, 0, 1);
    layout->addWidget(version, 1, 1);
    layout->addWidget(credits, 2, 0, 1, 2);
    layout->addWidget(ok, 3, 0, 1, 2, Qt::AlignCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

// The program's own icon, as the program has set it by the time the box is
// shown.
void TAboutBox::showEvent(QShowEvent* event) {
    icon_->setPixmap(QApplication::windowIcon().pixmap(48, 48));
    QDialog::showEvent(event);
}

} // namespace qx375
