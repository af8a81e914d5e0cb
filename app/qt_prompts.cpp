#include "app/qt_prompts.h"

#include "dialogs/help_viewer.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace qx375 {
namespace {

QString text_of(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void QtPrompts::show_message(std::string_view text) {
    QMessageBox::information(parent_, "QX375", text_of(text));
}

Answer QtPrompts::ask(std::string_view text, Question buttons) {
    QMessageBox box(QMessageBox::Question, "QX375", text_of(text),
                    buttons == Question::ok_cancel
                        ? QMessageBox::Ok | QMessageBox::Cancel
                        : QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                    parent_);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::ok;
    case QMessageBox::Yes:
        return Answer::yes;
    case QMessageBox::No:
        return Answer::no;
    default:
        return Answer::cancel;
    }
}

std::optional<std::string> QtPrompts::open_file(const FileDialog& dialog) {
    return choose_file(dialog, false);
}

std::optional<std::string> QtPrompts::save_file(const FileDialog& dialog) {
    return choose_file(dialog, true);
}

std::optional<std::string> QtPrompts::choose_file(const FileDialog& dialog, bool saving) {
    QFileDialog files(parent_);
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    files.setFileMode(saving || dialog.completed_by_command ? QFileDialog::AnyFile
                                                            : QFileDialog::ExistingFile);
    // The program asks its own question before it overwrites a file.
    files.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList filters{QString::fromStdString(dialog.filter + " (" + dialog.patterns + ")")};
    for (const std::string& more : dialog.more_filters) {
        filters.append(QString::fromStdString(more));
    }
    files.setNameFilters(filters);
    files.setDefaultSuffix(QString::fromStdString(dialog.default_suffix));
    if (!dialog.title.empty()) {
        files.setWindowTitle(QString::fromStdString(dialog.title));
    }
    if (!dialog.folder.empty()) {
        files.setDirectory(QString::fromStdString(dialog.folder));
    }
    if (!dialog.initial_name.empty()) {
        files.selectFile(QString::fromStdString(dialog.initial_name));
    }
    if (files.exec() != QDialog::Accepted || files.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return files.selectedFiles().front().toStdString();
}

int QtPrompts::exec(QDialog& dialog) {
    return dialog.exec();
}

void QtPrompts::show_help(const std::string& path) {
    if (help_ == nullptr) {
        return;
    }
    if (!help_->open(QString::fromStdString(path))) {
        show_message(texts_->with(Msg::help_failed, path));
        return;
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}

} // namespace qx375
