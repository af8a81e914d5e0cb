#pragma once

#include "util/sound_slots.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <array>

class QComboBox;

namespace qx375 {

// What the kit dialog shows of the window and the kit, in the language in
// use: its title, each sound's row and the sample it plays, the kit's drums
// and the words of its choices.
struct KitDialogTexts {
    QString title;
    QString keep;   // the choice that leaves a sound as it is
    QString apply;  // the button that gives the sounds their drums
    QString cancel; //
    std::array<QString, kSounds> sounds;
};

// The drums of a kit against the sixteen sounds, before they are given: one
// list per sound ("KitSound1" .. "KitSound16"), each offering to keep the
// sound's sample or to take one of the kit's drums, first set to the drum
// the kit's notes and names suggest.
class KitDialog : public QDialog {
public:
    KitDialog(QWidget* parent, const KitDialogTexts& texts, const QStringList& drums,
              const std::array<int, kSounds>& suggested);

    // The drum each sound takes, -1 where it keeps its sample.
    std::array<int, kSounds> choice() const;
    void choose(int sound, int drum);

private:
    std::array<QComboBox*, kSounds> lists_{};
};

} // namespace qx375
