#include "dialogs/help_viewer.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace qx375 {

HelpViewer::HelpViewer() {
    setObjectName("HelpViewer");
    setWindowTitle("QX375 Help");
    resize(640, 720);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName("HelpText");
    browser_->setOpenExternalLinks(true);
    auto* contents = new QPushButton("&Contents", this);
    auto* back = new QPushButton("&Back", this);
    auto* close = new QPushButton("Cl&ose", this);
    back->setEnabled(false);
    connect(contents, &QPushButton::clicked, browser_, &QTextBrowser::home);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);
}

bool HelpViewer::open(const QString& path) {
    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable()) {
        return false;
    }
    browser_->clearHistory();
    browser_->setSource(QUrl::fromLocalFile(file.absoluteFilePath()), QTextDocument::HtmlResource);
    return true;
}

} // namespace qx375
