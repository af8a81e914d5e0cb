#pragma once

#include "platform/notifier.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QLabel;
class QPushButton;

namespace qx375 {

// What the language choice needs of the main window.
class LanguesHost {
public:
    virtual ~LanguesHost() = default;
    virtual std::string program_directory() const = 0;
    virtual void set_first_use(bool first_use) = 0;
    virtual void write_recent_files() = 0;
};

// The language choice: French or English is installed by copying its
// language file and help file from the program directory's "langues"
// folder over qx375.lng and qx375.hlp. The dialog has no close box and no
// cancel; either button closes it, whether the copies succeeded or not.
class TFormLangues : public QDialog {
public:
    TFormLangues(LanguesHost& host, Notifier& notifier, QWidget* parent = nullptr);

    void BitBtnFrenchClick();
    void BitBtnEnglishClick();
    void CheckBoxNoMoreClick();

    void reject() override;

private:
    void install(const char* folder, const char* failure);

    LanguesHost& host_;
    Notifier& notifier_;
    QLabel* Label1;
    QPushButton* BitBtnEnglish;
    QPushButton* BitBtnFrench;
    QCheckBox* CheckBoxNoMore;
};

} // namespace qx375
