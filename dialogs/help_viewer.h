#pragma once

#include <QWidget>

class QTextBrowser;

namespace qx375 {

// The program's help window: the help file, an HTML page with its contents
// at the top and links between its topics, in a browser with Back and
// Contents buttons.
class HelpViewer : public QWidget {
public:
    HelpViewer();

    // Shows the file from its contents; false when it cannot be read.
    bool open(const QString& path);

private:
    QTextBrowser* browser_;
};

} // namespace qx375
