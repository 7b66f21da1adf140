#include "MenuContentView.h"

#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/MenuPanelComponents.h"
#include "Vigilor/Interface/MonitorRefresh.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/ZorviEyesView.h"
#include "Vigilor/Interface/ZorviShareService.h"
#include "Vigilor/Monitor/SettingsCommands.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <array>

namespace {

QVBoxLayout* column(QWidget* owner, int spacing, QMargins margins = {}) {
    auto* layout = new QVBoxLayout(owner);
    layout->setSpacing(spacing);
    layout->setContentsMargins(margins);
    return layout;
}

QHBoxLayout* row(QWidget* owner, int spacing, QMargins margins = {}) {
    auto* layout = new QHBoxLayout(owner);
    layout->setSpacing(spacing);
    layout->setContentsMargins(margins);
    return layout;
}

// The tinted card that names the nudge level and the monitor's decision.
class NudgeCard : public QWidget {
public:
    NudgeCard()
        : icon_(new SymbolTile({}, 26, 13, true))
        , label_(new ClampedLabel(zorviMicro(), {}, 1))
        , decision_(new ClampedLabel(zorviControl(), SystemColor::primaryLabel(), 1)) {
        auto* layout = row(this, 8, {12, 12, 12, 12});
        layout->addWidget(icon_);
        layout->addLayout(textStack(1, {label_, decision_}), 1);
    }

    void setModel(const MenuContentModel& m) {
        tint_ = m.levelTint;
        icon_->setSymbol(m.nudgeSystemImage, Qt::white, tint_);
        label_->setColour(tint_);
        label_->setText(qs(m.nudgeLabel).toUpper());
        decision_->setText(qs(m.decision));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(withOpacity(tint_, 0.22), 1));
        painter.setBrush(withOpacity(tint_, 0.1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    }

private:
    QColor tint_;
    SymbolTile* icon_;
    ClampedLabel* label_;
    ClampedLabel* decision_;
};

} // namespace

// The panel's sections, built once; a refresh only sets their values and visibility.
class MenuContentParts {
public:
    explicit MenuContentParts(MenuContentView& view);

    ZorviEyesView* eyes;
    QAbstractButton* header = nullptr;
    ClampedLabel* title;
    ClampedLabel* detail;
    QWidget* nudgeWrap;
    NudgeCard* nudgeCard;
    ZorviGlassButton* permissionButton;
    ZorviGlassSurface* lockingGroup;
    SwitchRow* autoLockRow;
    QWidget* lockingOffRow;
    BreakOffCard* walkOffCard;
    ZorviGlassSurface* movementCard;
    SymbolTile* movementIcon;
    ClampedLabel* movementLine;
    ProgressCapsule* movementProgress;
    std::array<SignalChip*, 4> chips;
    IconActionButton* settingsButton;
    IconActionButton* copyButton;
    QAbstractButton* quitButton;
};

namespace {

// The mascot and the headline, one button that opens the dashboard.
QAbstractButton* header(MenuContentParts& p) {
    auto* box = new QWidget;
    auto* layout = row(box, 12, {16, 16, 16, 24});
    auto* eyesFrame = new QWidget;
    eyesFrame->setFixedSize(76, 76);
    auto* frameLayout = row(eyesFrame, 0, {2, 2, 2, 2});
    frameLayout->addWidget(p.eyes);
    layout->addWidget(eyesFrame, 0, Qt::AlignVCenter);
    layout->addLayout(textStack(3, {p.title, p.detail}), 1);
    auto* button = new FaceButton(box);
    const QString help = QStringLiteral("Open the dashboard");
    button->setToolTip(help);
    button->setAccessibleName(help);
    zorviPointingHandCursor(*button, true);
    return button;
}

void fillMovementCard(MenuContentParts& p) {
    auto* card = column(p.movementCard, 8, {12, 12, 12, 12});
    auto* head = new QHBoxLayout;
    head->setSpacing(12);
    auto* caption = new ClampedLabel(zorviCaption(), SystemColor::secondaryLabel(), 1);
    caption->setText(QStringLiteral("Movement"));
    head->addWidget(p.movementIcon);
    head->addLayout(textStack(2, {caption, p.movementLine}), 1);
    card->addLayout(head);
    card->addWidget(p.movementProgress);
}

QWidget* actionRail(MenuContentParts& p) {
    auto* wrap = new QWidget;
    auto* rail = zorviGlassPanel(12);
    auto* buttons = row(rail, 8, {8, 8, 8, 8});
    buttons->addWidget(p.settingsButton);
    buttons->addWidget(p.copyButton);
    buttons->addStretch(1);
    buttons->addWidget(p.quitButton);
    row(wrap, 0, {16, 12, 16, 12})->addWidget(rail);
    return wrap;
}

QWidget* lockingOffRow() {
    auto* box = new QWidget;
    auto* icon = new SymbolTile({}, 30, 16, true);
    icon->setSymbol("lock.slash", SystemColor::secondaryLabel(),
                    withOpacity(SystemColor::secondaryLabel(), 0.12));
    auto* title = new ClampedLabel(zorviControl(), SystemColor::primaryLabel(), 1);
    title->setText(QStringLiteral("Locking is off"));
    auto* hint = new ClampedLabel(zorviCaption(), SystemColor::secondaryLabel(), 1);
    hint->setText(QStringLiteral("Enable in Settings"));
    auto* layout = row(box, 12);
    layout->addWidget(icon);
    layout->addLayout(textStack(2, {title, hint}), 1);
    return box;
}

} // namespace

MenuContentParts::MenuContentParts(MenuContentView& view)
    : eyes(new ZorviEyesView(72))
    , title(new ClampedLabel(zorviTitle(), SystemColor::primaryLabel(), 2))
    , detail(new ClampedLabel(zorviCaption(), SystemColor::secondaryLabel(), 2))
    , nudgeWrap(new QWidget)
    , nudgeCard(new NudgeCard)
    , permissionButton(new ZorviGlassButton(QStringLiteral("Continue for camera"), "camera.fill", true))
    , lockingGroup(zorviGlassPanel(12))
    , autoLockRow(new SwitchRow(QStringLiteral("Auto Lock")))
    , lockingOffRow(::lockingOffRow())
    , walkOffCard(new BreakOffCard(QStringLiteral("Walk-away break off"),
                                   QStringLiteral("Turn it on below, or in Settings."), "figure.walk.motion"))
    , movementCard(zorviGlassPanel(12))
    , movementIcon(new SymbolTile({}, 36, 16, true))
    , movementLine(new ClampedLabel(zorviBody(), SystemColor::primaryLabel(), 1))
    , movementProgress(new ProgressCapsule)
    , chips{new SignalChip, new SignalChip, new SignalChip, new SignalChip}
    , settingsButton(new IconActionButton("gearshape", {}, QStringLiteral("Settings"), [] {}))
    , copyButton(new IconActionButton("square.and.arrow.up", {}, QStringLiteral("Copy invitation"), [] {}))
    , quitButton(
          new IconActionButton("power", SystemColor::secondaryLabel(), QStringLiteral("Quit Zorvi"), [] {})) {
    auto* main = column(&view, 0);
    header = ::header(*this);
    main->addWidget(header);

    row(nudgeWrap, 0, {16, 0, 16, 12})->addWidget(nudgeCard);
    main->addWidget(nudgeWrap);

    auto* body = new QWidget;
    auto* bodyLayout = column(body, 8, {16, 0, 16, 8});
    bodyLayout->addWidget(permissionButton);
    auto* locking = column(lockingGroup, 8, {12, 12, 12, 12});
    auto* groupLabel = new ClampedLabel(zorviMicro(), SystemColor::secondaryLabel(), 1);
    groupLabel->setText(QStringLiteral("LOCKING"));
    locking->addWidget(groupLabel);
    locking->addWidget(autoLockRow);
    locking->addWidget(lockingOffRow);
    bodyLayout->addWidget(lockingGroup);
    bodyLayout->addWidget(walkOffCard);

    fillMovementCard(*this);
    bodyLayout->addWidget(movementCard);

    auto* strip = new QHBoxLayout;
    strip->setSpacing(8);
    for (SignalChip* chip : chips)
        strip->addWidget(chip, 1);
    bodyLayout->addLayout(strip);
    main->addWidget(body);

    main->addWidget(actionRail(*this));
}

MenuContentView::MenuContentView(std::shared_ptr<VigilorMonitor> monitor, MenuContentActions actions,
                                 QWidget* parent)
    : QWidget(parent)
    , monitor_(std::move(monitor))
    , actions_(std::move(actions))
    , parts_(std::make_unique<MenuContentParts>(*this)) {
    setFixedWidth(panelWidth);
    setFocusPolicy(Qt::StrongFocus);

    new MonitorRefresh(*this, monitor_, [this] { refresh(); });
    ticker_ = new TimelineTicker(*this, SystemClock::shared(), [this](Date) { refresh(); });

    MenuContentParts& p = *parts_;
    connect(p.autoLockRow, &QAbstractButton::clicked, this,
            [this](bool on) { monitor_->settings().setAutoLockEnabled(on); });
    connect(p.permissionButton, &QAbstractButton::clicked, this, [this] {
        monitor_->requestCameraThenBluetooth();
    });
    const auto settings = [this] {
        actions_.openSettingsWindow();
        actions_.closePanel();
    };
    connect(p.header, &QAbstractButton::clicked, this, [this] { actions_.openMainWindow(); });
    connect(p.settingsButton, &QAbstractButton::clicked, this, settings);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), this), &QShortcut::activated, this,
            settings);
    connect(p.copyButton, &QAbstractButton::clicked, this, [this] { copyStoreAsk(); });
    p.quitButton->setObjectName(QStringLiteral("quit")); // the last row's last button
    connect(p.quitButton, &QAbstractButton::clicked, this, [this] { actions_.quitApp(); });
    refresh();
}

MenuContentView::~MenuContentView() = default;

bool MenuContentView::clockIsRunning() const {
    return ticker_->isRunning();
}

QSize MenuContentView::sizeHint() const {
    return {panelWidth, layout()->totalHeightForWidth(panelWidth)};
}

void MenuContentView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        actions_.closePanel();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MenuContentView::copyStoreAsk() {
    if (!copyToClipboard(qs(storeAsk(ZorviShareService::storeURL().toString().toStdString()))))
        return; // refused: the button keeps its copy look
    storeAskCopied_ = true;
    refresh();
    QTimer::singleShot(1500, this, [this] {
        storeAskCopied_ = false;
        refresh();
    });
}

void MenuContentView::refresh() {
    const bool wasWalkDue = model_.walkDue;
    model_ = menuContentModel(*monitor_);
    apply(model_, wasWalkDue);
    noteSizeHint();
}

// A section that appears or a text that takes another line changes the layouts inside out, over a
// few turns of the event loop; each step ends in a layout request here, after which the fitting size
// is final for that step.
bool MenuContentView::event(QEvent* event) {
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::LayoutRequest)
        noteSizeHint();
    return handled;
}

void MenuContentView::noteSizeHint() {
    const QSize hint = sizeHint();
    if (hint == lastSizeHint_)
        return;
    lastSizeHint_ = hint;
    updateGeometry();
}

void MenuContentView::apply(const MenuContentModel& m, bool wasWalkDue) {
    MenuContentParts& p = *parts_;
    p.eyes->setInputs(m.eyes);
    p.title->setText(qs(m.nudgeTitle));
    p.detail->setText(qs(m.nudgeDetail));

    p.nudgeWrap->setVisible(m.showNudgeCard);
    p.nudgeCard->setModel(m);

    p.permissionButton->setVisible(m.showPermissionButton);
    const QString permission = m.permissionForCamera ? QStringLiteral("Continue for camera")
                                                     : QStringLiteral("Continue for Bluetooth");
    if (p.permissionButton->text() != permission) {
        p.permissionButton->setText(permission);
        p.permissionButton->setAccessibleName(permission);
        p.permissionButton->setToolTip(permission);
    }
    p.permissionButton->setSystemImage(m.permissionSymbol);
    p.autoLockRow->setChecked(m.autoLockOn);
    p.autoLockRow->setAccessibleDescription(m.autoLockOn ? QStringLiteral("On") : QStringLiteral("Off"));
    p.lockingOffRow->setVisible(m.showLockingOffRow);

    p.walkOffCard->setVisible(!m.walkBreakEnabled);
    p.movementCard->setVisible(m.walkBreakEnabled);
    if (m.walkBreakEnabled) {
        p.movementIcon->setSymbol(m.movementSystemImage, m.movementTint, withOpacity(m.movementTint, 0.12));
        p.movementLine->setText(qs(m.movementLine));
        p.movementCard->setAccessibleName(qs(m.movementAccessibilityLabel));
        p.movementProgress->setProgress(m.walkProgress, m.movementTint);
    }
    if (m.walkDue && !wasWalkDue)
        p.movementIcon->pulse(); // once each time the walk becomes due

    for (size_t i = 0; i < p.chips.size(); ++i) {
        p.chips[i]->setVisible(i < m.chips.size());
        if (i < m.chips.size())
            p.chips[i]->setModel(m.chips[i]);
    }

    p.settingsButton->setTint(m.levelTint);
    p.copyButton->setSystemImage(storeAskCopied_ ? "checkmark" : "square.and.arrow.up");
    p.copyButton->setTint(storeAskCopied_ ? Theme::success() : Theme::notice());
    p.copyButton->setHelp(storeAskCopied_ ? QStringLiteral("Copied invitation")
                                          : QStringLiteral("Copy invitation"));
}
