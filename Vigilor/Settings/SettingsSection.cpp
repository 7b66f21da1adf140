#include "SettingsSection.h"

#include "Foundation/DispatchQueue.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Interface/WindowPlacement.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/LockScreen/LockScreenMessageService.h"
#include "Vigilor/Settings/SettingsRowKit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

SettingsSectionContext::SettingsSectionContext(std::shared_ptr<VigilorMonitor> monitor,
                                               std::shared_ptr<LockScreenMessageService> lockScreenMessages,
                                               Actions actions)
    : monitor_(std::move(monitor))
    , bindings_(monitor_)
    , lockScreenMessages_(std::move(lockScreenMessages))
    , actions_(std::move(actions)) {
    state_.lockScreenMessageState = lockScreenMessages_->currentMessage();
}

void SettingsSectionContext::setState(const std::function<void(SettingsViewState&)>& change) {
    change(state_);
    refresh();
}

void SettingsSectionContext::onRefresh(std::function<void()> refresh) {
    refreshes_.push_back(std::move(refresh));
}

// A redraw that changes the state (a sheet closing clears its flag) redraws once more afterwards
// rather than inside itself.
void SettingsSectionContext::refreshFrom(size_t first) {
    if (refreshing_) {
        QTimer::singleShot(0, [alive = std::weak_ptr<int>(lifetime_), this, first] {
            if (alive.lock())
                refreshFrom(first);
        });
        return;
    }
    refreshing_ = true;
    // By index: a redraw may build a part that registers more.
    for (size_t i = first; i < refreshes_.size(); ++i)
        refreshes_[i]();
    refreshing_ = false;
}

bool SettingsSectionContext::copyWithConfirmation(const std::string& text, bool SettingsViewState::*flag) {
    if (!copyToClipboard(QString::fromStdString(text)))
        return false; // refused: the button keeps its copy look
    setState([flag](SettingsViewState& s) { s.*flag = true; });
    DispatchQueue::main().asyncAfter(copiedSeconds, [alive = std::weak_ptr<int>(lifetime_), this, flag] {
        if (alive.lock())
            setState([flag](SettingsViewState& s) { s.*flag = false; });
    });
    return true;
}

SettingsSectionCard::SettingsSectionCard(const QString& title, const QString& subtitle,
                                         const std::string& systemImage, const QColor& tint,
                                         const std::vector<QWidget*>& rows, QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::panel, 16, withOpacity(tint, 0.15), false, parent)
    , title_(title)
    , subtitle_(
          plainLabel(subtitle.toStdString(), zorviFont(11, QFont::Normal), SystemColor::secondaryLabel())) {
    setObjectName(QStringLiteral("section.") + title);
    subtitle_->setWordWrap(true);
    auto* icon = new SymbolTile(systemImage, 26, 12, true);
    icon->setColour(tint);
    QLabel* heading = plainLabel(title.toUpper().toStdString(), zorviMicro(), SystemColor::secondaryLabel());
    heading->setAccessibleName(title);
    heading->setAccessibleDescription(QStringLiteral("Heading"));
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(icon, 0, Qt::AlignVCenter);
    header->addLayout(settingsTextColumn(heading, subtitle_), 1);

    auto* body = new QVBoxLayout;
    body->setSpacing(4);
    for (QWidget* row : rows)
        body->addWidget(row);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(4);
    column->addLayout(header);
    column->addLayout(body);
}

QString SettingsSectionCard::subtitle() const {
    return subtitle_->text();
}

SettingsSectionCard* settingsSection(const QString& title, const QString& subtitle,
                                     const std::string& systemImage, const QColor& tint,
                                     std::initializer_list<QWidget*> rows) {
    return new SettingsSectionCard(title, subtitle, systemImage, tint, std::vector<QWidget*>(rows));
}

SettingsSectionCard* settingsSection(const QString& title, const QString& subtitle,
                                     const std::string& systemImage, const QColor& tint,
                                     const std::vector<QWidget*>& rows) {
    return new SettingsSectionCard(title, subtitle, systemImage, tint, rows);
}

SettingsSheet::SettingsSheet(const QString& title, QWidget* content, Binding<bool> isPresented, QSize size,
                             Sizing sizing, QWidget* window)
    : QDialog(window)
    , isPresented_(std::move(isPresented))
    , content_(content)
    , size_(size)
    , sizing_(sizing) {
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plainScrollArea(content, Qt::ScrollBarAsNeeded));
    takeOwnSize();
}

void SettingsSheet::refresh() {
    const bool presented = isPresented_.get();
    if (presented && !isVisible()) {
        // At its own size again: the last opening may have been on a smaller screen.
        takeOwnSize();
        const QWidget* over = parentWidget() ? parentWidget()->window() : nullptr;
        WindowPlacing::place(
            *this, WindowPlacing::request(*this, over ? over->screen() : screen(), std::nullopt, over));
        open();
    } else if (presented && sizing_ == Sizing::fitted) {
        followContent();
    } else if (!presented && isVisible()) {
        QDialog::done(QDialog::Rejected);
    }
}

void SettingsSheet::takeOwnSize() {
    switch (sizing_) {
    case Sizing::fixed:
        setFixedSize(size_);
        break;
    case Sizing::resizable:
        setMinimumSize(size_);
        resize(content_->sizeHint().expandedTo(size_));
        break;
    case Sizing::fitted:
        fitted_ = fittedSize();
        setFixedSize(fitted_);
        break;
    }
}

QSize SettingsSheet::fittedSize() const {
    const int width = size_.width();
    return {width,
            content_->hasHeightForWidth() ? content_->heightForWidth(width) : content_->sizeHint().height()};
}

// A shown sheet whose content now needs another height takes it where it is, kept inside the work area.
void SettingsSheet::followContent() {
    const QSize wanted = fittedSize();
    if (wanted == fitted_)
        return;
    fitted_ = wanted;
    setFixedSize(wanted);
    const QRect frame(frameGeometry().topLeft(), wanted.grownBy(WindowPlacing::decorations(*this)));
    WindowPlacing::place(*this, WindowPlacing::request(*this, screen(), frame));
}

void SettingsSheet::done(int result) {
    QDialog::done(result);
    if (isPresented_.get())
        isPresented_.set(false);
}
