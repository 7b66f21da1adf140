#include "SettingsView.h"

#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/Settings/SettingsRowKit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

// The disclosures within `part`. By type, not by Qt's cast: the row kit's widgets have no meta-object
// of their own, so every widget would pass for one.
std::vector<SettingsDisclosure*> disclosuresIn(const QWidget& part) {
    std::vector<SettingsDisclosure*> found;
    for (QWidget* widget : part.findChildren<QWidget*>())
        if (auto* disclosure = dynamic_cast<SettingsDisclosure*>(widget))
            found.push_back(disclosure);
    return found;
}

} // namespace

SettingsView::SettingsView(std::shared_ptr<VigilorMonitor> monitor, SettingsEnvironment environment,
                           SettingsPageState page, QWidget* parent)
    : QWidget(parent)
    , content_(new SettingsContent(std::move(monitor), std::move(environment)))
    , page_(std::move(page)) {
    setObjectName(QStringLiteral("settings"));
    setMinimumSize(minimumWindowSize);
    setMaximumSize(maximumWindowSize);
    content_->setMaximumWidth(maximumContentWidth);

    // The form at the top left, padded 12 on every side. The stretch after it, not a left alignment,
    // keeps it left: an aligned item is measured as if it could take the whole width, so the page
    // would be given the height of a wider form and cut the texts that wrap at 640.
    auto* form = new QWidget;
    auto* row = new QHBoxLayout(form);
    row->setContentsMargins(12, 12, 12, 12);
    row->addWidget(content_, 1, Qt::AlignTop);
    row->addStretch(0);

    scroll_ = plainScrollArea(form, Qt::ScrollBarAsNeeded);
    scroll_->setObjectName(QStringLiteral("settingsScroll"));

    auto* backdrop = new ZorviBackdrop(true);
    auto* backdropColumn = new QVBoxLayout(backdrop);
    backdropColumn->setContentsMargins(0, 0, 0, 0);
    backdropColumn->addWidget(scroll_);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(backdrop);

    buildFirstScreenful();
    rest_.setInterval(0);
    connect(&rest_, &QTimer::timeout, this, &SettingsView::buildNextSection);
    if (!content_->isComplete())
        content_->installEventFilter(this); // its first paint starts the rest
}

// Cards down to the bottom of the tallest window at the scroll position the page comes back to,
// measured at the widest the form may be: the hero alone, then each card as it is built (the form's
// own layout measures again only once the page is laid out).
void SettingsView::buildFirstScreenful() {
    const int cardWidth = maximumContentWidth - 2 * 12;
    int height = content_->heightForWidth(maximumContentWidth);
    const int bottom = page_.scrollPosition + maximumWindowSize.height();
    while (!content_->isComplete() && height < bottom) {
        SettingsSectionCard* card = content_->buildNextSection();
        restoreDisclosures(*card);
        height += card->heightForWidth(cardWidth) + 12;
    }
}

void SettingsView::buildNextSection() {
    if (SettingsSectionCard* card = content_->buildNextSection())
        restoreDisclosures(*card);
    if (content_->isComplete()) {
        rest_.stop();
        content_->removeEventFilter(this);
    }
}

void SettingsView::restoreDisclosures(QWidget& part) const {
    for (SettingsDisclosure* disclosure : disclosuresIn(part))
        if (const auto kept = page_.disclosures.find(disclosure->objectName()); kept != page_.disclosures.end())
            disclosure->setExpanded(kept->second);
}

// The first showing lays the page out, then scrolls it to where the last window left it, before the
// first frame is drawn.
void SettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (scrollRestored_ || event->spontaneous())
        return;
    scrollRestored_ = true;
    if (page_.scrollPosition > 0) {
        scroll_->widget()->layout()->activate();
        scroll_->verticalScrollBar()->setValue(page_.scrollPosition);
    }
}

bool SettingsView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == content_ && event->type() == QEvent::Paint && !content_->isComplete() &&
        !rest_.isActive())
        rest_.start();
    return QWidget::eventFilter(watched, event);
}

// Disclosures not built yet keep what the page was given for them.
SettingsPageState SettingsView::pageState() const {
    SettingsPageState state;
    state.scrollPosition = scroll_->verticalScrollBar()->value();
    state.disclosures = page_.disclosures;
    for (const SettingsDisclosure* disclosure : disclosuresIn(*content_))
        state.disclosures[disclosure->objectName()] = disclosure->isExpanded();
    return state;
}
