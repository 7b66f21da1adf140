#include "WindowParts.h"

#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Interface/ZorviTheme.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"

#include <QLabel>
#include <QPainter>

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
    update();
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
        painter.setBrush(withOpacity(colour_, 0.12));
        painter.drawEllipse(QRectF(rect()));
    }
    const QRectF box(0, 0, symbolSize_, symbolSize_);
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
