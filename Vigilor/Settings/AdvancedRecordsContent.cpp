// The Advanced card's last disclosures: the lock-screen message, the privacy notes, the activity log
// and the lock log.
#include "AdvancedSectionParts.h"

#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/WindowParts.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Interface/ZorviShareService.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/LockScreen/LockScreenSignatureRowModel.h"
#include "Vigilor/Settings/SettingsRowKit.h"
#include "Vigilor/Settings/SettingsSection.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

QFont logLineFont() {
    QFont font = zorviMicro();
    font.setWeight(QFont::Medium);
    return font;
}

// The row that puts our signature on the login screen or takes it away, with the error of the last
// try under it until the next one. The row model does the work; its state is also the form's view
// state, which this row keeps in step.
class LockScreenSignatureRow : public QWidget {
public:
    explicit LockScreenSignatureRow(SettingsSectionContext& context)
        : context_(context)
        // The context owns the service and outlives the rows it builds, so the model may borrow it.
        , model_(std::shared_ptr<LockScreenMessageService>(std::shared_ptr<void>(),
                                                           &context.lockScreenMessages()))
        , icon_(new SymbolTile("lock", 26, 12, true))
        , detail_(new ClampedLabel(zorviFont(11, QFont::Normal), SystemColor::secondaryLabel(), 2))
        , button_(new ZorviGlassButton(QString()))
        , warning_(new LaunchAtLoginNotice(QString())) {
        setObjectName(QStringLiteral("row.Lock screen signature"));
        button_->setFont(zorviCaption()); // the small control size
        connect(button_, &QAbstractButton::clicked, this, [this] { model_.toggle(); });
        model_.setOnChange([this] { mirrorIntoViewState(); });

        auto* card = zorviGlassPanel(12);
        auto* line = new QHBoxLayout(card);
        line->setContentsMargins(8, 8, 8, 8);
        line->setSpacing(8);
        line->addWidget(icon_, 0, Qt::AlignVCenter);
        line->addLayout(
            settingsTextColumn(settingsRowTitle(QStringLiteral("Lock screen signature")), detail_), 1);
        line->addWidget(button_, 0, Qt::AlignVCenter);
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(4);
        column->addWidget(card);
        column->addWidget(warning_);
        refresh();
    }

    void refresh() {
        const auto look = lockScreenSignatureRowLook(model_.state(), model_.isBusy(), model_.errorText());
        icon_->setSymbol(look.iconSymbol, settingsTintColour(look.iconTint));
        detail_->setText(qs(look.detail));
        if (button_->text() != qs(look.buttonTitle) || button_->systemImage() != look.buttonSymbol) {
            button_->setText(qs(look.buttonTitle));
            button_->setAccessibleName(qs(look.buttonTitle));
            button_->setSystemImage(look.buttonSymbol);
        }
        button_->setEnabled(look.buttonEnabled);
        zorviPointingHandCursor(*button_, look.buttonEnabled);
        warning_->setMessage(qs(look.warning.value_or("")));
        warning_->setVisible(look.warning.has_value());
    }

protected:
    // Each time the window (or the disclosure) shows the row, a message changed elsewhere since is
    // picked up.
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        model_.reload();
    }

private:
    void mirrorIntoViewState() {
        context_.setState([this](SettingsViewState& s) {
            s.lockScreenMessageState = model_.state();
            s.isTogglingLockScreenMessage = model_.isBusy();
            s.lockScreenMessageError = model_.errorText().value_or("");
        });
    }

    SettingsSectionContext& context_;
    LockScreenSignatureRowModel model_;
    SymbolTile* icon_;
    ClampedLabel* detail_;
    ZorviGlassButton* button_;
    LaunchAtLoginNotice* warning_;
};

// "Read the trust documentation": the whole label is the button, which opens the page in the browser.
QAbstractButton* trustLink() {
    const QString title = QStringLiteral("Read the trust documentation");
    auto* button = new ZorviGlassButton(QString());
    button->setAccessibleName(title);
    button->setToolTip(title);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    zorviPointingHandCursor(*button, true);
    auto* link = new SymbolTile("link", 16, 13, false);
    link->setColour(Theme::success());
    auto* arrow = new SymbolTile("arrow.up.right", 16, 12, false);
    arrow->setColour(SystemColor::primaryLabel());
    auto* line = new QHBoxLayout(button);
    line->setContentsMargins(12, 5, 12, 5);
    line->setSpacing(8);
    line->addWidget(link);
    line->addWidget(plainLabel(title.toStdString(), zorviControl(), SystemColor::primaryLabel()));
    line->addStretch(1);
    line->addWidget(arrow);
    for (auto* child : button->findChildren<QWidget*>())
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
    QObject::connect(button, &QAbstractButton::clicked, button,
                     [] { ZorviShareService::openWithDesktop(ZorviShareService::trustPageURL()); });
    return button;
}

QWidget* helperNeededBadge() {
    auto* badge = zorviGlassControl(8, std::nullopt, true);
    auto* line = new QHBoxLayout(badge);
    line->setContentsMargins(10, 6, 10, 6);
    line->addWidget(plainLabel("Helper needed", zorviCaption(), SystemColor::secondaryLabel()));
    return badge;
}

} // namespace

SettingsLogList::SettingsLogList(QString emptyText, QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::panel, 12, std::nullopt, false, parent)
    , emptyText_(std::move(emptyText))
    , empty_(plainLabel(emptyText_.toStdString(), zorviCaption(), SystemColor::secondaryLabel())) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(4);
    column->addWidget(empty_);
}

void SettingsLogList::setLines(const std::vector<std::string>& lines) {
    while (lines_.size() < lines.size()) {
        lines_.push_back(new ClampedLabel(logLineFont(), SystemColor::secondaryLabel(), 1));
        layout()->addWidget(lines_.back());
    }
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (i < lines.size())
            lines_[i]->setText(qs(lines[i]));
        lines_[i]->setVisible(i < lines.size());
    }
    empty_->setVisible(lines.empty());
}

QStringList SettingsLogList::shownTexts() const {
    if (!empty_->isHidden())
        return {emptyText_};
    QStringList texts;
    for (const auto* line : lines_)
        if (!line->isHidden())
            texts << line->text();
    return texts;
}

QWidget* lockScreenMessageContent(SettingsSectionContext& context) {
    return settingsColumn({context.track(new LockScreenSignatureRow(context))});
}

QWidget* privacyAndTrustContent(SettingsSectionContext&) {
    auto* notes = new QWidget;
    auto* line = new QHBoxLayout(notes);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(10);
    line->addWidget(new TrustNote("video.slash", "No face upload", "Camera frames stay on this computer."));
    line->addWidget(
        new TrustNote("person.crop.circle.badge.xmark", "No account", "No signup or cloud identity."));
    line->addWidget(
        new TrustNote("clock.arrow.circlepath", "No cloud history", "Presence events stay local."));
    return settingsColumn({notes, trustLink()});
}

QWidget* recentEventsContent(SettingsSectionContext& context) {
    auto* list = new SettingsLogList(QStringLiteral("No events yet"));
    list->setObjectName(QStringLiteral("log.Recent events"));
    const auto redraw = [list, &monitor = context.monitor()] {
        list->setLines(shownLines(recentEventLines(monitor.log().events())));
    };
    redraw();
    context.onRefresh(redraw);
    return settingsColumn({list});
}

QWidget* lockAndSecurityLogContent(SettingsSectionContext& context) {
    auto* list = new SettingsLogList(QStringLiteral("No lock events yet"));
    list->setObjectName(QStringLiteral("log.Lock & security log"));
    const auto redraw = [list, &monitor = context.monitor()] { list->setLines(shownLines(monitor.log().lockEvents())); };
    redraw();
    context.onRefresh(redraw);
    auto* photos = new SettingsControlShell(
        "Failed password photos",
        "Not available on this system: the lock screen tells no other program of wrong-password attempts, "
        "nor lets one use the camera while it shows.",
        "camera.badge.ellipsis", SystemColor::secondaryLabel(), false, helperNeededBadge());
    return settingsColumn({list, photos});
}
