#include "SettingsView.h"

#include "Vigilor/Interface/ZorviGlass.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

SettingsView::SettingsView(std::shared_ptr<VigilorMonitor> monitor, SettingsEnvironment environment,
                           QWidget* parent)
    : QWidget(parent)
    , content_(new SettingsContent(std::move(monitor), std::move(environment))) {
    setObjectName(QStringLiteral("settings"));
    setMinimumSize(minimumWindowSize);
    setMaximumSize(maximumWindowSize);
    content_->setMaximumWidth(maximumContentWidth);

    // The form at the top left, padded 12 on every side. The stretch after it, not a left alignment,
    // keeps it left: an aligned item is measured as if it could take the whole width, so the page
    // would be given the height of a wider form and cut the texts that wrap at 640.
    auto* page = new QWidget;
    page->setAutoFillBackground(false);
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(12, 12, 12, 12);
    row->addWidget(content_, 1, Qt::AlignTop);
    row->addStretch(0);

    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("settingsScroll"));
    scroll->setWidget(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    scroll->viewport()->setAutoFillBackground(false);

    auto* backdrop = new ZorviBackdrop(true);
    auto* backdropColumn = new QVBoxLayout(backdrop);
    backdropColumn->setContentsMargins(0, 0, 0, 0);
    backdropColumn->addWidget(scroll);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(backdrop);
}
