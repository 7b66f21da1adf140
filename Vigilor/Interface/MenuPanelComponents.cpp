#include "MenuPanelComponents.h"

#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

TimelineTicker::TimelineTicker(QWidget& host, const Clock& clock, std::function<void(Date)> write)
    : QObject(&host)
    , clock_(clock)
    , write_(std::move(write)) {
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, [this] {
        const Date now = clock_.now();
        if (now == last_)
            return;
        last_ = now;
        write_(now);
    });
    host.installEventFilter(this);
    if (host.isVisible())
        timer_.start();
}

bool TimelineTicker::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show) {
        last_ = clock_.now();
        timer_.start();
    } else if (event->type() == QEvent::Hide) {
        timer_.stop();
    }
    return QObject::eventFilter(watched, event);
}

double progressFillWidth(double width, double value) {
    return std::max(6.0, width * std::clamp(value, 0.0, 1.0));
}

ProgressCapsule::ProgressCapsule(QWidget* parent)
    : QWidget(parent) {
    setFixedHeight(6);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ProgressCapsule::setProgress(double value, const QColor& tint) {
    if (value == value_ && tint == tint_)
        return;
    value_ = value;
    tint_ = tint;
    update();
}

void ProgressCapsule::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const double h = height();
    painter.setBrush(Theme::hairline());
    painter.drawRoundedRect(QRectF(0, 0, width(), h), h / 2, h / 2);
    painter.setBrush(tint_);
    painter.drawRoundedRect(QRectF(0, 0, progressFillWidth(width(), value_), h), h / 2, h / 2);
}

SignalChip::SignalChip(QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::control, 8, std::nullopt, true, parent)
    , icon_(new SymbolTile({}, 26, 12, true))
    , caption_(new ClampedLabel(zorviMicro(), SystemColor::secondaryLabel(), 1))
    , value_(new ClampedLabel(zorviControl(), SystemColor::primaryLabel(), 1, true)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(6);
    column->addWidget(icon_, 0, Qt::AlignLeft);
    column->addWidget(caption_);
    column->addWidget(value_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SignalChip::setModel(const SignalChipModel& model) {
    model_ = model;
    icon_->setSymbol(model.systemImage, model.tint, withOpacity(model.tint, 0.12));
    caption_->setText(QString::fromStdString(model.title).toUpper());
    value_->setText(QString::fromStdString(model.value));
    setAccessibleName(QString::fromStdString(
        model.accessibilityLabel.empty() ? model.title + ": " + model.value : model.accessibilityLabel));
}

BreakOffCard::BreakOffCard(const QString& title, const QString& detail, const std::string& systemImage,
                           QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::panel, 12, std::nullopt, false, parent) {
    auto* icon = new SymbolTile({}, 36, 16, true);
    icon->setSymbol(systemImage, SystemColor::secondaryLabel(), Theme::iconWell());
    auto* titleLabel = new ClampedLabel(zorviBody(), SystemColor::primaryLabel(), 1);
    titleLabel->setText(title);
    auto* detailLabel = new ClampedLabel(zorviCaption(), SystemColor::secondaryLabel(), 2);
    detailLabel->setText(detail);

    auto* pill = new ClampedLabel(zorviMicro(), SystemColor::secondaryLabel(), 1);
    pill->setText(QStringLiteral("OFF"));
    pill->setAlignment(Qt::AlignCenter);
    pill->setContentsMargins(9, 5, 9, 5);
    pill->setFixedSize(pill->sizeHint());
    pill_ = pill;

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(12);
    row->addWidget(icon);
    row->addLayout(textStack(3, {titleLabel, detailLabel}), 1);
    row->addWidget(pill);
    setAccessibleName(title + QStringLiteral(", currently off"));
}

void BreakOffCard::paintEvent(QPaintEvent* event) {
    ZorviGlassSurface::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::iconWell());
    const QRectF pill(pill_->geometry());
    painter.drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);
}

SwitchRow::SwitchRow(const QString& title, QWidget* parent)
    : QAbstractButton(parent)
    , title_(new ClampedLabel(zorviControl(), SystemColor::primaryLabel(), 1))
    , switch_(new SwitchVisual(false)) {
    setCheckable(true);
    setText(title);
    setAccessibleName(title);
    title_->setText(title);
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(8);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(title_, 1, Qt::AlignVCenter);
    layout->addSpacing(8);
    layout->addWidget(switch_);
    for (QWidget* part : {static_cast<QWidget*>(title_), static_cast<QWidget*>(switch_)})
        part->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(this, &QAbstractButton::toggled, switch_, &SwitchVisual::setOn);
    zorviPointingHandCursor(*this, true);
}

QSize SwitchRow::sizeHint() const {
    return layout()->sizeHint();
}
