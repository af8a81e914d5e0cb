#include "dialogs/kit_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace qx375 {

KitDialog::KitDialog(QWidget* parent, const KitDialogTexts& texts, const QStringList& drums,
                     const std::array<int, kSounds>& suggested)
    : QDialog(parent) {
    setObjectName("FormKit");
    setWindowTitle(texts.title);
    auto* rows = new QGridLayout;
    for (int k = 0; k < kSounds; ++k) {
        const auto at = static_cast<std::size_t>(k);
        auto* name = new QLabel(texts.sounds[at], this);
        QComboBox* list = lists_[at] = new QComboBox(this);
        list->setObjectName(QString("KitSound%1").arg(k + 1));
        list->addItem(texts.keep);
        list->addItems(drums);
        name->setBuddy(list);
        rows->addWidget(name, k, 0);
        rows->addWidget(list, k, 1);
        choose(k, suggested[at]);
    }
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(texts.apply, QDialogButtonBox::AcceptRole)->setObjectName("ButtonApply");
    buttons->addButton(texts.cancel, QDialogButtonBox::RejectRole)->setObjectName("ButtonCancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rows);
    layout->addWidget(buttons);
}

std::array<int, kSounds> KitDialog::choice() const {
    std::array<int, kSounds> drums{};
    for (std::size_t k = 0; k < drums.size(); ++k) {
        drums[k] = lists_[k]->currentIndex() - 1;
    }
    return drums;
}

void KitDialog::choose(int sound, int drum) {
    if (sound >= 0 && sound < kSounds) {
        QComboBox* list = lists_[static_cast<std::size_t>(sound)];
        list->setCurrentIndex(drum >= 0 && drum + 1 < list->count() ? drum + 1 : 0);
    }
}

} // namespace qx375
