#include "WindowParts.h"

#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"

#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVariantAnimation>

SymbolTile::SymbolTile(std::string symbol, double diameter, double symbolSize, bool circle, QWidget* parent)
    : QWidget(parent)
    , symbol_(std::move(symbol))
    , symbolSize_(symbolSize)
    , circle_(circle) {
    setFixedSize(int(diameter), int(diameter));
}

void SymbolTile::setSymbol(const std::string& symbol, const QColor& colour) {
    symbol_ = symbol;
    colour_ = colour;
    fill_.reset();
    update();
}

void SymbolTile::setSymbol(const std::string& symbol, const QColor& colour, const QColor& fill) {
    if (symbol == symbol_ && colour == colour_ && fill_ == fill)
        return;
    symbol_ = symbol;
    colour_ = colour;
    fill_ = fill;
    update();
}

void SymbolTile::pulse() {
    if (!isVisible() || ZorviAccessibility::shared().reduceMotion())
        return;
    if (!pulse_) {
        pulse_ = new QVariantAnimation(this);
        pulse_->setDuration(450);
        pulse_->setKeyValueAt(0, 1.0);
        pulse_->setKeyValueAt(0.4, 1.25);
        pulse_->setKeyValueAt(1, 1.0);
        connect(pulse_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            scale_ = value.toDouble();
            update();
        });
    }
    pulse_->start();
}

void SymbolTile::setColour(const QColor& colour) {
    if (colour == colour_)
        return;
    colour_ = colour;
    update();
}

void SymbolTile::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (circle_) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill_.value_or(withOpacity(colour_, 0.12)));
        painter.drawEllipse(QRectF(rect()));
    }
    const double side = symbolSize_ * scale_;
    const QRectF box(0, 0, side, side);
    ZorviSymbols::draw(painter, symbol_, box.translated(QRectF(rect()).center() - box.center()), colour_);
}

QLabel* plainLabel(const std::string& text, const QFont& font, const QColor& colour) {
    auto* label = new QLabel(qs(text));
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

QScrollArea* plainScrollArea(QWidget* content, Qt::ScrollBarPolicy vertical) {
    auto* scroll = new QScrollArea;
    scroll->setWidget(content);
    content->setAutoFillBackground(false); // which the page had turned on
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(vertical);
    scroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    scroll->viewport()->setAutoFillBackground(false);
    return scroll;
}
