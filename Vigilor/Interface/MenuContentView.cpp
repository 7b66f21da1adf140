#include "MenuContentView.h"

#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/DesignPlaceholders.h"
#include "Vigilor/Interface/MenuPanelComponents.h"
#include "Vigilor/Interface/ThemeTintColor.h"
#include "Vigilor/Interface/ZorviEyesView.h"
#include "Vigilor/Monitor/VigilorMonitor.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QShortcut>
#include <QVBoxLayout>

#include <array>

namespace D = Placeholder;

namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }

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

// A section on a glass panel of corner radius 12.
class GlassSection : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        D::glass(painter, QRectF(rect()), 12, true);
    }
};

// The tinted card that names the nudge level and the monitor's decision.
class NudgeCard : public QWidget {
public:
    NudgeCard()
        : icon_(new SymbolWell(26, 13))
        , label_(new ClampedLabel(D::micro(), {}, 1))
        , decision_(new ClampedLabel(D::control(), D::primary(), 1)) {
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        texts->addWidget(label_);
        texts->addWidget(decision_);
        auto* layout = row(this, 8, {12, 12, 12, 12});
        layout->addWidget(icon_);
        layout->addLayout(texts, 1);
    }

    void setModel(const MenuContentModel& m) {
        tint_ = themeTintColor(m.levelTint);
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
        painter.setPen(QPen(D::withAlpha(tint_, 0.22), 1));
        painter.setBrush(D::withAlpha(tint_, 0.1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    }

private:
    QColor tint_;
    SymbolWell* icon_;
    ClampedLabel* label_;
    ClampedLabel* decision_;
};

// A settings row whose whole surface is the switch: a click (or Space) flips the setting.
class SwitchRow : public QAbstractButton {
public:
    explicit SwitchRow(const QString& title) {
        setCheckable(true);
        setText(title);
        setAccessibleName(title);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override { return {200, 22}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setFont(D::control());
        painter.setPen(D::primary());
        painter.drawText(QRectF(0, 0, width() - 46, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
        const QRectF track(width() - 38, (height() - 22) / 2.0, 38, 22);
        painter.setPen(Qt::NoPen);
        painter.setBrush(isChecked() ? D::toggleOn() : D::withAlpha(D::secondary(), 0.3));
        painter.drawRoundedRect(track, 11, 11);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRectF(isChecked() ? track.right() - 20 : track.left() + 2, track.top() + 2, 18, 18));
    }
};

} // namespace

// The panel's sections, built once; a refresh only sets their values and visibility.
class MenuContentParts {
public:
    explicit MenuContentParts(MenuContentView& view);

    ZorviEyesView* eyes;
    ClampedLabel* title;
    ClampedLabel* detail;
    QWidget* nudgeWrap;
    NudgeCard* nudgeCard;
    QAbstractButton* permissionButton;
    GlassSection* lockingGroup;
    SwitchRow* autoLockRow;
    QWidget* lockingOffRow;
    BreakOffCard* walkOffCard;
    GlassSection* movementCard;
    SymbolWell* movementIcon;
    ClampedLabel* movementLine;
    ProgressCapsule* movementProgress;
    std::array<SignalChip*, 4> chips;
    QAbstractButton* settingsButton;
    QAbstractButton* copyButton;
    QAbstractButton* reviewButton;
    QAbstractButton* quitButton;
};

namespace {

QWidget* header(MenuContentParts& p) {
    auto* box = new QWidget;
    auto* layout = row(box, 12, {16, 16, 16, 24});
    auto* eyesFrame = new QWidget;
    eyesFrame->setFixedSize(76, 76);
    auto* frameLayout = row(eyesFrame, 0, {2, 2, 2, 2});
    frameLayout->addWidget(p.eyes);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(p.title);
    texts->addWidget(p.detail);
    layout->addWidget(eyesFrame, 0, Qt::AlignVCenter);
    layout->addLayout(texts, 1);
    return box;
}

QWidget* lockingOffRow() {
    auto* box = new QWidget;
    auto* icon = new SymbolWell(30, 16);
    icon->setSymbol("lock.slash", D::secondary(), D::withAlpha(D::secondary(), 0.12));
    auto* title = new ClampedLabel(D::control(), D::primary(), 1);
    title->setText(QStringLiteral("Locking is off"));
    auto* hint = new ClampedLabel(D::caption(), D::secondary(), 1);
    hint->setText(QStringLiteral("Enable in Settings"));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(title);
    texts->addWidget(hint);
    auto* layout = row(box, 12);
    layout->addWidget(icon);
    layout->addLayout(texts, 1);
    return box;
}

} // namespace

MenuContentParts::MenuContentParts(MenuContentView& view)
    : eyes(new ZorviEyesView(72))
    , title(new ClampedLabel(D::title(), D::primary(), 2))
    , detail(new ClampedLabel(D::caption(), D::secondary(), 2))
    , nudgeWrap(new QWidget)
    , nudgeCard(new NudgeCard)
    , permissionButton(new D::GlassButton(QStringLiteral("Continue for camera"), "camera.fill", true))
    , lockingGroup(new GlassSection)
    , autoLockRow(new SwitchRow(QStringLiteral("Auto Lock")))
    , lockingOffRow(::lockingOffRow())
    , walkOffCard(new BreakOffCard(QStringLiteral("Walk-away break off"),
                                   QStringLiteral("Turn it on below, or in Settings."), "figure.walk.motion"))
    , movementCard(new GlassSection)
    , movementIcon(new SymbolWell(36, 16))
    , movementLine(new ClampedLabel(D::body(), D::primary(), 1))
    , movementProgress(new ProgressCapsule)
    , chips{new SignalChip, new SignalChip, new SignalChip, new SignalChip}
    , settingsButton(new D::IconActionButton("gearshape", {}, QStringLiteral("Settings"), [] {}))
    , copyButton(new D::IconActionButton("square.and.arrow.up", {}, QStringLiteral("Copy App Store ask"), [] {}))
    , reviewButton(new D::IconActionButton("star", themeTintColor(ThemeTint::notice), QStringLiteral("Review Zorvi"),
                                           [] {}))
    , quitButton(new D::IconActionButton("power", D::secondary(), QStringLiteral("Quit Zorvi"), [] {})) {
    auto* main = column(&view, 0);
    main->addWidget(header(*this));

    row(nudgeWrap, 0, {16, 0, 16, 12})->addWidget(nudgeCard);
    main->addWidget(nudgeWrap);

    auto* body = new QWidget;
    auto* bodyLayout = column(body, 8, {16, 0, 16, 8});
    bodyLayout->addWidget(permissionButton);
    auto* locking = column(lockingGroup, 8, {12, 12, 12, 12});
    auto* groupLabel = new ClampedLabel(D::micro(), D::secondary(), 1);
    groupLabel->setText(QStringLiteral("LOCKING"));
    groupLabel->setAccessibleDescription(QStringLiteral("Header"));
    locking->addWidget(groupLabel);
    locking->addWidget(autoLockRow);
    locking->addWidget(lockingOffRow);
    bodyLayout->addWidget(lockingGroup);
    bodyLayout->addWidget(walkOffCard);

    auto* movement = column(movementCard, 8, {12, 12, 12, 12});
    auto* movementHead = new QHBoxLayout;
    movementHead->setSpacing(12);
    auto* movementTexts = new QVBoxLayout;
    movementTexts->setSpacing(2);
    auto* movementCaption = new ClampedLabel(D::caption(), D::secondary(), 1);
    movementCaption->setText(QStringLiteral("Movement"));
    movementTexts->addWidget(movementCaption);
    movementTexts->addWidget(movementLine);
    movementHead->addWidget(movementIcon);
    movementHead->addLayout(movementTexts, 1);
    movement->addLayout(movementHead);
    movement->addWidget(movementProgress);
    bodyLayout->addWidget(movementCard);

    auto* strip = new QHBoxLayout;
    strip->setSpacing(8);
    for (SignalChip* chip : chips)
        strip->addWidget(chip, 1);
    bodyLayout->addLayout(strip);
    main->addWidget(body);

    auto* railWrap = new QWidget;
    auto* rail = new GlassSection;
    auto* railLayout = row(rail, 8, {8, 8, 8, 8});
    railLayout->addWidget(settingsButton);
    railLayout->addWidget(copyButton);
    railLayout->addWidget(reviewButton);
    railLayout->addStretch(1);
    railLayout->addWidget(quitButton);
    row(railWrap, 0, {16, 12, 16, 12})->addWidget(rail);
    main->addWidget(railWrap);
}

MenuContentView::MenuContentView(std::shared_ptr<VigilorMonitor> monitor, MenuContentActions actions,
                                 QWidget* parent)
    : QWidget(parent)
    , monitor_(std::move(monitor))
    , actions_(std::move(actions))
    , menuClock_(SystemClock::shared().now())
    , parts_(std::make_unique<MenuContentParts>(*this)) {
    setFixedWidth(panelWidth);
    setFocusPolicy(Qt::StrongFocus);

    // The monitor announces a change before making it: the refresh waits for the next turn of the
    // event loop, which also folds the changes of one turn into one refresh.
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(0);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] { refresh(); });
    subscription_ = monitor_->subscribe([this] {
        if (!refreshTimer_.isActive())
            refreshTimer_.start();
    });
    new TimelineTicker(*this, SystemClock::shared(), [this](Date now) {
        menuClock_ = now;
        refresh();
    });

    MenuContentParts& p = *parts_;
    connect(p.autoLockRow, &QAbstractButton::clicked, this,
            [this](bool on) { monitor_->setAutoLockEnabled(on); });
    connect(p.permissionButton, &QAbstractButton::clicked, this, [this] {
        monitor_->append("Permission setup requested");
        monitor_->requestCameraThenBluetooth();
    });
    const auto settings = [this] {
        actions_.openSettingsWindow();
        actions_.closePanel();
    };
    connect(p.settingsButton, &QAbstractButton::clicked, this, settings);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma), this), &QShortcut::activated, this, settings);
    connect(p.copyButton, &QAbstractButton::clicked, this, [this] { copyAppStoreAsk(); });
    connect(p.reviewButton, &QAbstractButton::clicked, this, [this] {
        D::openAppStoreReview(); // a store that does not open still closes the panel
        actions_.closePanel();
    });
    connect(p.quitButton, &QAbstractButton::clicked, this, [this] { actions_.quitApp(); });
    refresh();
}

MenuContentView::~MenuContentView() { monitor_->unsubscribe(subscription_); }

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

void MenuContentView::copyAppStoreAsk() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString ask = qs(appStoreAsk(D::listingWebAddress()));
    clipboard->setText(ask);
    if (clipboard->text() != ask)
        return; // refused: the button keeps its copy look
    appStoreAskCopied_ = true;
    refresh();
    QTimer::singleShot(1500, this, [this] {
        appStoreAskCopied_ = false;
        refresh();
    });
}

void MenuContentView::refresh() {
    model_ = menuContentModel(*monitor_);
    apply(model_);
    const QSize hint = sizeHint();
    if (hint != lastSizeHint_) {
        lastSizeHint_ = hint;
        updateGeometry();
    }
}

void MenuContentView::apply(const MenuContentModel& m) {
    MenuContentParts& p = *parts_;
    p.eyes->setInputs(m.eyes);
    p.title->setText(qs(m.nudgeTitle));
    p.detail->setText(qs(m.nudgeDetail));

    p.nudgeWrap->setVisible(m.showNudgeCard);
    p.nudgeCard->setModel(m);

    p.permissionButton->setVisible(m.showPermissionButton);
    p.lockingGroup->setVisible(m.showLockingGroup);
    p.autoLockRow->setChecked(m.autoLockOn);
    p.autoLockRow->setAccessibleDescription(m.autoLockOn ? QStringLiteral("On") : QStringLiteral("Off"));
    p.lockingOffRow->setVisible(m.showLockingOffRow);

    p.walkOffCard->setVisible(!m.walkBreakEnabled);
    p.movementCard->setVisible(m.walkBreakEnabled);
    if (m.walkBreakEnabled) {
        const QColor tint = themeTintColor(m.movementTint);
        p.movementIcon->setSymbol(m.movementSystemImage, tint, D::withAlpha(tint, 0.12));
        p.movementLine->setText(qs(m.movementLine));
        p.movementCard->setAccessibleName(qs(m.movementAccessibilityLabel));
        p.movementProgress->setProgress(m.walkProgress, tint);
    }

    for (size_t i = 0; i < p.chips.size(); ++i) {
        p.chips[i]->setVisible(i < m.chips.size());
        if (i < m.chips.size())
            p.chips[i]->setModel(m.chips[i]);
    }

    static_cast<D::IconActionButton*>(p.settingsButton)->setLook("gearshape", themeTintColor(m.levelTint),
                                                                 QStringLiteral("Settings"));
    static_cast<D::IconActionButton*>(p.copyButton)
        ->setLook(appStoreAskCopied_ ? "checkmark" : "square.and.arrow.up",
                  themeTintColor(appStoreAskCopied_ ? ThemeTint::success : ThemeTint::notice),
                  appStoreAskCopied_ ? QStringLiteral("Copied App Store ask") : QStringLiteral("Copy App Store ask"));
    p.reviewButton->setVisible(m.showReviewButton);
}
