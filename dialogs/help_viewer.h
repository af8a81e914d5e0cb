#pragma once

#include <QWidget>

class QTextBrowser;

namespace qx375 {

// The program's help window: the help file, an HTML page with its contents
// at the top and links between its topics, in a browser with Contents, Back
// and Close buttons. A window of the main window's own, which ends with it.
class HelpViewer : public QWidget {
public:
    explicit HelpViewer(QWidget* main_window);

    // Shows the file from its contents, titled as the file titles itself;
    // false when it cannot be read.
    bool open(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QTextBrowser* browser_;
};

} // namespace qx375
