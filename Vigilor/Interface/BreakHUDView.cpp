#include "BreakHUDView.h"

#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/MonitorRefresh.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QPainter>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <array>

namespace {

// The prompt's 96-point ring: on the eye prompt an arc from 12 o'clock, clockwise, that fills while
// the user rests, around the seconds still to rest or a checkmark; on the walk prompt a full ring
// around the walking figure. The arc's growth glides over 0.4 s unless motion is reduced.
class PromptRing : public QWidget {
public:
    PromptRing() {
        setFixedSize(96, 96);
        glide_.setDuration(400);
        glide_.setEasingCurve(QEasingCurve::InOutQuad);
        connect(&glide_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            shownFraction_ = value.toDouble();
            update();
        });
    }

    void setModel(const BreakHUDModel& m) {
        const bool walk = m.kind == BreakHUDKind::walk;
        const double fraction = walk || m.done ? 1 : m.progress;
        if (fraction != targetFraction_) {
            glide_.stop();
            targetFraction_ = fraction;
            if (isVisible() && !walk && !ZorviAccessibility::shared().reduceMotion()) {
                glide_.setStartValue(shownFraction_);
                glide_.setEndValue(fraction);
                glide_.start();
            } else {
                shownFraction_ = fraction;
            }
        }
        walk_ = walk;
        accent_ = m.accent;
        text_ = qs(m.centreText);
        symbol_ = m.centreSymbol;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF ring = QRectF(rect()).adjusted(4, 4, -4, -4); // the 8-wide stroke stays inside
        painter.setPen(QPen(withOpacity(SystemColor::primaryLabel(), 0.12), 8));
        painter.drawEllipse(ring);
        painter.setPen(QPen(walk_ ? withOpacity(accent_, 0.85) : accent_, 8, Qt::SolidLine, Qt::RoundCap));
        if (shownFraction_ >= 1)
            painter.drawEllipse(ring);
        else if (shownFraction_ > 0)
            painter.drawArc(ring, 90 * 16, -int(std::lround(shownFraction_ * 360 * 16)));
        if (!symbol_.empty()) {
            const double side = walk_ ? 34 : 26;
            const QColor colour = walk_ ? accent_ : SystemColor::green();
            ZorviSymbols::draw(painter, symbol_, QRectF(48 - side / 2, 48 - side / 2, side, side), colour);
            return;
        }
        // The seconds: large, rounded digits of equal width, shrinking to 85 % before they would
        // touch the ring.
        QFont font = zorviFont(28, QFont::DemiBold);
        if (QFontMetricsF(font).horizontalAdvance(text_) > 64)
            font = zorviFont(24, QFont::DemiBold);
        painter.setFont(font);
        painter.setPen(SystemColor::primaryLabel());
        painter.drawText(rect(), Qt::AlignCenter, text_);
    }

private:
    QVariantAnimation glide_;
    double targetFraction_ = -1;
    double shownFraction_ = 0;
    bool walk_ = false;
    QColor accent_;
    QString text_;
    std::string symbol_;
};

// The round close button in the card's top-right corner.
class CloseButton : public QAbstractButton {
public:
    CloseButton() {
        setFixedSize(30, 30);
        zorviPointingHandCursor(*this, true);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintZorviGlass(painter, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 15, ZorviGlassDepth::control,
                        ZorviAccessibility::shared().reduceTransparency());
        ZorviSymbols::draw(painter, "xmark", QRectF(9, 9, 12, 12), SystemColor::primaryLabel());
    }
};

} // namespace

// The card's parts, built once; a refresh sets their values, and the second button shows only on the
// walk prompt.
class BreakHUDParts {
public:
    explicit BreakHUDParts(BreakHUDView& view);

    ZorviGlassSurface* card;
    PromptRing* ring;
    ClampedLabel* title;
    ClampedLabel* detail;
    std::array<ZorviGlassButton*, 2> buttons;
    CloseButton* close;
};

BreakHUDParts::BreakHUDParts(BreakHUDView& view)
    : card(zorviGlassPanel(24))
    , ring(new PromptRing)
    , title(new ClampedLabel(zorviSubtitle(), SystemColor::primaryLabel(), 1))
    , detail(new ClampedLabel(zorviCaption(), SystemColor::secondaryLabel(), 1, true))
    , buttons{new ZorviGlassButton({}, {}, true), new ZorviGlassButton({}, {}, false)}
    , close(new CloseButton) {
    title->setAlignment(Qt::AlignCenter);
    detail->setAlignment(Qt::AlignCenter);

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(ring, 0, Qt::AlignHCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(title);
    texts->addWidget(detail);
    column->addLayout(texts);
    auto* buttonColumn = new QVBoxLayout;
    buttonColumn->setSpacing(8);
    for (ZorviGlassButton* button : buttons) {
        button->setMinimumHeight(34);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        zorviPointingHandCursor(*button, true);
        buttonColumn->addWidget(button);
    }
    column->addLayout(buttonColumn);

    // The close button overlaps the prompt's top-right corner: both share the card's one cell.
    auto* cell = new QGridLayout(card);
    cell->setContentsMargins(20, 20, 20, 20);
    cell->addWidget(content, 0, 0);
    cell->addWidget(close, 0, 0, Qt::AlignTop | Qt::AlignRight);
    close->raise();
    card->setFixedWidth(BreakHUDView::cardWidth);

    auto* outer = new QVBoxLayout(&view);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(card, 0, Qt::AlignCenter);
}

BreakHUDView::BreakHUDView(std::shared_ptr<VigilorMonitor> monitor, QWidget* parent)
    : QWidget(parent)
    , monitor_(std::move(monitor))
    , parts_(std::make_unique<BreakHUDParts>(*this)) {
    new MonitorRefresh(*this, monitor_, [this] { refresh(); });
    for (size_t i = 0; i < parts_->buttons.size(); ++i)
        connect(parts_->buttons[i], &QAbstractButton::clicked, this, [this, i] {
            if (i < model_.buttons.size())
                performBreakPromptAction(*monitor_, model_.buttons[i].action);
        });
    connect(parts_->close, &QAbstractButton::clicked, this,
            [this] { performBreakPromptAction(*monitor_, model_.closeAction); });
    refresh();
}

BreakHUDView::~BreakHUDView() = default;

QWidget* BreakHUDView::card() const {
    return parts_->card;
}

QSize BreakHUDView::sizeHint() const {
    return {cardWidth, layout()->totalHeightForWidth(cardWidth)};
}

void BreakHUDView::refresh() {
    model_ = breakHUDModel(*monitor_);
    BreakHUDParts& p = *parts_;
    p.ring->setModel(model_);
    // Its texts read at 4.5:1 at least on the card's opaque base, whatever window lies behind the prompt:
    // the accent is darkened for the buttons' labels, and for the prominent one's fill under white.
    const QColor base = SystemColor::windowBackground();
    const QColor buttonFill = readableOn(withOpacity(model_.accent, 0.18), base, 1); // flattened
    const QColor buttonTint = readableOn(model_.accent, buttonFill);
    p.title->setText(qs(model_.title));
    p.title->setColour(readableOn(model_.titleInAccent ? SystemColor::green() : SystemColor::primaryLabel(), base));
    p.detail->setText(qs(model_.detail));
    p.detail->setColour(readableOn(SystemColor::secondaryLabel(), base));
    for (size_t i = 0; i < p.buttons.size(); ++i) {
        ZorviGlassButton* button = p.buttons[i];
        button->setVisible(i < model_.buttons.size());
        if (i >= model_.buttons.size())
            continue;
        const BreakPromptButton& b = model_.buttons[i];
        const QString title = qs(b.title);
        button->setText(title);
        button->setSystemImage(b.systemImage);
        button->setProminent(b.prominent);
        button->setTint(buttonTint);
        button->setToolTip(title);
        button->setAccessibleName(title);
    }
    p.close->setToolTip(qs(model_.closeHelp));
    p.close->setAccessibleName(qs(model_.closeHelp));

    const QSize hint = sizeHint();
    if (hint != lastSizeHint_) {
        lastSizeHint_ = hint;
        updateGeometry();
    }
}
