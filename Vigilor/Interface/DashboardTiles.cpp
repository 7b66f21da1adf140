#include "DashboardTiles.h"

#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/SystemTextStyles.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

constexpr double symbolSpacing = 6;

QPainterPath capsule(const QRectF& rect) {
    QPainterPath path;
    const double radius = std::min(rect.width(), rect.height()) / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

// Whether some of `widget` lies inside every one of its ancestors (a bar scrolled out of the
// dashboard's view does not) and its window is on screen.
bool isOnScreen(const QWidget& widget) {
    QRect area = widget.rect();
    const QWidget* w = &widget;
    for (; !w->isWindow() && w->parentWidget(); w = w->parentWidget()) {
        area = area.translated(w->pos()).intersected(w->parentWidget()->rect());
        if (area.isEmpty())
            return false;
    }
    return w->windowHandle() && w->windowHandle()->isExposed();
}

} // namespace

QWidget* hairlineDivider() {
    auto* divider = new QWidget;
    divider->setFixedHeight(1);
    divider->setAutoFillBackground(true);
    QPalette palette = divider->palette();
    palette.setColor(QPalette::Window, Theme::hairline());
    divider->setPalette(palette);
    return divider;
}

SymbolLabel::SymbolLabel(std::string systemImage, const QString& text, QFont font, QColor colour,
                         QWidget* parent)
    : QWidget(parent)
    , systemImage_(std::move(systemImage))
    , text_(text)
    , font_(std::move(font))
    , colour_(std::move(colour)) {
    setAccessibleName(text);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void SymbolLabel::setText(const QString& text) {
    if (text == text_)
        return;
    text_ = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

QSize SymbolLabel::sizeHint() const {
    const QFontMetricsF metrics(font_);
    return {int(std::ceil(metrics.height() + symbolSpacing + metrics.horizontalAdvance(text_))),
            int(std::ceil(metrics.height()))};
}

QSize SymbolLabel::minimumSizeHint() const {
    const QFontMetricsF metrics(font_);
    return {int(std::ceil(metrics.height())), int(std::ceil(metrics.height()))};
}

void SymbolLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetricsF metrics(font_);
    const double side = metrics.height();
    const double top = (height() - side) / 2;
    ZorviSymbols::draw(painter, systemImage_, QRectF(0, top, side, side).adjusted(1, 1, -1, -1), colour_);
    painter.setFont(font_);
    painter.setPen(colour_);
    const QRectF textBox(side + symbolSpacing, top, width() - side - symbolSpacing, side);
    painter.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(text_, Qt::ElideRight, textBox.width()));
}

CapsuleText::CapsuleText(QFont font, int horizontal, int vertical, bool upperCased, QWidget* parent)
    : QWidget(parent)
    , font_(std::move(font))
    , horizontal_(horizontal)
    , vertical_(vertical)
    , upperCased_(upperCased) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void CapsuleText::setText(const QString& text, const QColor& tint) {
    const QString shown = upperCased_ ? text.toUpper() : text;
    if (shown == text_ && tint == tint_)
        return;
    text_ = shown;
    tint_ = tint;
    setAccessibleName(text_);
    updateGeometry();
    update();
}

QSize CapsuleText::sizeHint() const {
    const QFontMetricsF metrics(font_);
    return {int(std::ceil(metrics.horizontalAdvance(text_))) + 2 * horizontal_,
            int(std::ceil(metrics.height())) + 2 * vertical_};
}

void CapsuleText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(capsule(QRectF(rect())), withOpacity(tint_, 0.12));
    painter.setFont(font_);
    painter.setPen(tint_);
    painter.drawText(QRectF(rect()), Qt::AlignCenter, text_);
}

HabitBarGeometry habitBarGeometry(double value, double width, double height, double phase) {
    HabitBarGeometry g;
    g.fraction = std::isnan(value) ? 0 : std::clamp(value, 0.0, 1.0);
    g.fillWidth = std::max(g.fraction * width, height);
    g.fillOpacity = g.fraction >= 1 ? 0.95 : 0.82;
    g.highlightOffset = phase * (g.fillWidth + habitHighlightWidth) - habitHighlightWidth;
    g.knobOffset = std::min(std::max(g.fillWidth - height + 1.5, 0.0), width - height + 1.5);
    g.knobScale = g.fraction >= 1 ? 1.08 : 1.0;
    return g;
}

double habitBarPhase(Date frameDate) {
    const double seconds = std::fmod(frameDate.timeIntervalSinceReferenceDate(), habitSweepSeconds);
    return (seconds < 0 ? seconds + habitSweepSeconds : seconds) / habitSweepSeconds;
}

HabitStatusProgressBar::HabitStatusProgressBar(double value, QColor tint, double height, const Clock& clock,
                                               QWidget* parent)
    : QWidget(parent)
    , value_(value)
    , tint_(std::move(tint))
    , height_(height)
    , clock_(clock) {
    setFixedHeight(int(height));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    frames_.setInterval(frameMilliseconds);
    connect(&frames_, &QTimer::timeout, this, [this] {
        if (isOnScreen(*this))
            update();
    });
}

void HabitStatusProgressBar::setValue(double value, const QColor& tint) {
    if (value == value_ && tint == tint_)
        return;
    value_ = value;
    tint_ = tint;
    update();
}

void HabitStatusProgressBar::showEvent(QShowEvent*) {
    frames_.start();
}

void HabitStatusProgressBar::hideEvent(QHideEvent*) {
    frames_.stop();
}

void HabitStatusProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = width(), h = height_;
    const HabitBarGeometry g = habitBarGeometry(value_, w, h, habitBarPhase(clock_.now()));

    painter.fillPath(capsule(QRectF(0, 0, w, h)), withOpacity(SystemColor::secondaryLabel(), 0.14));
    const double gap = (w - 5) / 6;
    for (int i = 1; i <= 5; ++i)
        painter.fillRect(QRectF(i * gap + (i - 1), h * 0.27, 1, h * 0.46),
                         withOpacity(SystemColor::primaryLabel(), 0.1));

    const QPainterPath fill = capsule(QRectF(0, 0, g.fillWidth, h));
    painter.fillPath(fill, withOpacity(tint_, g.fillOpacity));
    painter.save();
    painter.setClipPath(fill);
    QLinearGradient sweep(g.highlightOffset, 0, g.highlightOffset + habitHighlightWidth, 0);
    sweep.setColorAt(0, Qt::transparent);
    sweep.setColorAt(0.5, QColor::fromRgbF(1, 1, 1, 0.34f));
    sweep.setColorAt(1, Qt::transparent);
    painter.fillPath(capsule(QRectF(g.highlightOffset, 0, habitHighlightWidth, h)), sweep);
    painter.restore();

    const double diameter = (h - 3) * g.knobScale;
    const QPointF centre(g.knobOffset + (h - 3) / 2, h / 2);
    QRadialGradient shadow(centre + QPointF(0, 1), diameter / 2 + 3);
    shadow.setColorAt(diameter / (diameter + 6), withOpacity(tint_, 0.24));
    shadow.setColorAt(1, Qt::transparent);
    painter.setPen(Qt::NoPen);
    painter.setBrush(shadow);
    painter.drawEllipse(centre + QPointF(0, 1), diameter / 2 + 3, diameter / 2 + 3);
    QPen ring(tint_, 3, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.setPen(ring);
    painter.setBrush(SystemColor::windowBackground());
    painter.drawEllipse(centre, diameter / 2, diameter / 2);
}

StatusMeter::StatusMeter(const Clock& clock, QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::control, 14, std::nullopt, false, parent)
    , title_(new ClampedLabel(systemTextStyle(TextStyle::subheadline, QFont::Bold),
                              SystemColor::primaryLabel(), 1))
    , value_(new CapsuleText(systemTextStyle(TextStyle::caption, QFont::Bold), 8, 4, true))
    , detail_(new ClampedLabel(systemTextStyle(TextStyle::footnote, QFont::Medium),
                               SystemColor::secondaryLabel(), 1, true))
    , bar_(new HabitStatusProgressBar(0, {}, 14, clock)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);
    auto* row = new QHBoxLayout;
    row->addWidget(title_, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(value_, 0, Qt::AlignVCenter);
    row->addWidget(detail_, 0, Qt::AlignVCenter);
    column->addLayout(row);
    column->addWidget(bar_);
    bar_->hide();
}

void StatusMeter::setModel(const StatusMeterModel& m) {
    model_ = m;
    title_->setText(qs(m.title));
    value_->setText(qs(m.value), m.tint);
    detail_->setText(qs(m.detail));
    bar_->setVisible(m.progress.has_value());
    bar_->setValue(m.progress.value_or(0), m.tint);
    setAccessibleName(qs(m.title + ", " + m.value + ", " + m.detail));
}

// The tile's opacity is given to its surface and its texts one by one: a fading effect of its own
// would clip the shadow that the surface casts outside itself.
SummaryTile::SummaryTile(bool walk, QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::control, 14, std::nullopt, false, parent)
    , walk_(walk)
    , heading_(new ClampedLabel(systemTextStyle(TextStyle::caption, QFont::Bold),
                                withOpacity(SystemColor::secondaryLabel(), opacity), 1))
    , main_(new ClampedLabel(systemTextStyle(TextStyle::headline, QFont::DemiBold), {}, 1, true))
    , detail_(new ClampedLabel(systemTextStyle(TextStyle::caption, QFont::Medium),
                               withOpacity(SystemColor::secondaryLabel(), opacity), walk ? 2 : 1, true)) {
    setMinimumHeight(minimumHeight);
    auto* stack = textStack(7, {heading_, main_, detail_});
    stack->setContentsMargins(10, 9, 10, 9);
    setLayout(stack);
}

void SummaryTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setOpacity(opacity);
    paintZorviGlass(painter, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius(), depth(),
                    ZorviAccessibility::shared().reduceTransparency());
}

void SummaryTile::setSummary(const WellnessPeriodSummary& s, const QColor& tint) {
    tint_ = tint;
    heading_->setText(qs(s.label).toUpper());
    main_->setText(qs(walk_ ? s.walkCompactLine() : s.compactLine()));
    main_->setColour(withOpacity(tint, opacity));
    detail_->setText(qs(walk_ ? s.walkDetailLine() : s.detailLine()));
}

QStringList SummaryTile::lines() const {
    return {heading_->text(), main_->text(), detail_->text()};
}
