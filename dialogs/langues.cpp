#include "dialogs/langues.h"

#include "util/file_lookup.h"
#include "util/file_ops.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace qx375 {
namespace {

constexpr QSize kFlag{96, 64};

QPixmap french_flag() {
    QPixmap flag(kFlag);
    QPainter p(&flag);
    const int third = kFlag.width() / 3;
    p.fillRect(0, 0, third, kFlag.height(), QColor(0, 35, 149));
    p.fillRect(third, 0, third, kFlag.height(), Qt::white);
    p.fillRect(2 * third, 0, kFlag.width() - 2 * third, kFlag.height(), QColor(237, 41, 57));
    return flag;
}

QPixmap english_flag() {
    QPixmap flag(kFlag);
    QPainter p(&flag);
    p.setRenderHint(QPainter::Antialiasing);
    const int w = kFlag.width();
    const int h = kFlag.height();
    p.fillRect(0, 0, w, h, QColor(1, 33, 105));
    p.setPen(QPen(Qt::white, 12));
    p.drawLine(0, 0, w, h);
    p.drawLine(0, h, w, 0);
    p.setPen(QPen(QColor(200, 16, 46), 4));
    p.drawLine(0, 0, w, h);
    p.drawLine(0, h, w, 0);
    p.fillRect(w / 2 - 10, 0, 20, h, Qt::white);
    p.fillRect(0, h / 2 - 10, w, 20, Qt::white);
    p.fillRect(w / 2 - 6, 0, 12, h, QColor(200, 16, 46));
    p.fillRect(0, h / 2 - 6, w, 12, QColor(200, 16, 46));
    return flag;
}

QPushButton* flag_button(QWidget* parent, const char* name, const QPixmap& flag,
                         const char* language) {
    auto* button = new QPushButton(parent);
    button->setObjectName(name);
    button->setIcon(flag);
    button->setIconSize(kFlag);
    button->setToolTip(language);
    button->setAccessibleName(language);
    return button;
}

} // namespace

TFormLangues::TFormLangues(LanguesHost& host, Notifier& notifier, QWidget* parent)
    : QDialog(parent), host_(host), notifier_(notifier) {
    setObjectName("FormLangues");
    setWindowTitle("QX 375A");
    // A caption without a close box: the dialog ends through its buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    Label1 = new QLabel("Choose your language", this);
    Label1->setObjectName("Label1");
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    BitBtnEnglish = flag_button(this, "BitBtnEnglish", english_flag(), "English");
    BitBtnFrench = flag_button(this, "BitBtnFrench", french_flag(), "Français");
    CheckBoxNoMore = new QCheckBox("Don't Show this screen again", this);
    CheckBoxNoMore->setObjectName("CheckBoxNoMore");

    auto* layout = new QGridLayout(this);
    layout->addWidget(Label1, 0, 0, 1, 2, Qt::AlignCenter);
    layout->addWidget(BitBtnEnglish, 1, 0);
    layout->addWidget(BitBtnFrench, 1, 1);
    layout->addWidget(CheckBoxNoMore, 2, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    auto guarded = [this](auto handler) {
        return [this, handler] { run_guarded(notifier_, [&] { (this->*handler)(); }); };
    };
    connect(BitBtnEnglish, &QPushButton::clicked, this, guarded(&TFormLangues::BitBtnEnglishClick));
    connect(BitBtnFrench, &QPushButton::clicked, this, guarded(&TFormLangues::BitBtnFrenchClick));
    connect(CheckBoxNoMore, &QCheckBox::clicked, this, guarded(&TFormLangues::CheckBoxNoMoreClick));
}

void TFormLangues::BitBtnFrenchClick() {
    install("francais", "Fichiers langue française absent");
    accept();
}

void TFormLangues::BitBtnEnglishClick() {
    install("anglais", "missing English language files");
    accept();
}

void TFormLangues::CheckBoxNoMoreClick() {
    host_.set_first_use(!CheckBoxNoMore->isChecked());
}

// Escape would close the dialog without a choice; only its buttons close it.
void TFormLangues::reject() {}

// The language file first, then the help file, each from the language's own
// folder, whatever the letter case of its names; a file missing there, or a
// copy that fails, stops the install and is reported, and is never taken for
// an installed language.
void TFormLangues::install(const char* folder, const char* failure) {
    const std::string directory = host_.program_directory();
    for (const char* file : {"qx375.lng", "qx375.hlp"}) {
        const std::string installed = find_file(directory + "/" + file, directory);
        const std::optional<std::string> source =
            find_under(directory, std::string("langues/") + folder + "/" + file);
        if (!source || !copy_file(*source, installed)) {
            notifier_.show_message(failure);
            return;
        }
    }
    host_.write_recent_files();
}

} // namespace qx375
