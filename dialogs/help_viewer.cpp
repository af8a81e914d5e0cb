#include "dialogs/help_viewer.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace qx375 {

namespace {

constexpr QSize kSize{640, 720};

QPushButton* help_button(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

} // namespace

HelpViewer::HelpViewer(QWidget* main_window) : QWidget(main_window, Qt::Window) {
    setObjectName("HelpViewer");
    setWindowTitle("QX375 Help");
    resize(kSize);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName("HelpText");
    browser_->setOpenExternalLinks(true);
    auto* contents = help_button(this, "HelpContents", "&Contents");
    auto* back = help_button(this, "HelpBack", "&Back");
    auto* close = help_button(this, "HelpClose", "Cl&ose");
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
    if (!browser_->documentTitle().isEmpty()) {
        setWindowTitle(browser_->documentTitle());
    }
    return true;
}

// The window keeps to its screen, less what a window manager adds around
// it: on a small screen its full height would run off the bottom.
void HelpViewer::showEvent(QShowEvent* event) {
    if (const QScreen* shown_on = screen()) {
        const QRect area = shown_on->availableGeometry();
        const QSize frame = frameGeometry().size() - size();
        const QSize room = area.size() - frame.expandedTo(QSize(8, 32));
        resize(kSize.boundedTo(room));
        move(std::max(area.left(), std::min(x(), area.right() - width())),
             std::max(area.top(), std::min(y(), area.bottom() - height())));
    }
    QWidget::showEvent(event);
}

} // namespace qx375
