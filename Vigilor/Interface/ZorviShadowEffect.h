#pragma once

#include "ZorviGlass.h"

#include <QGraphicsEffect>
#include <QImage>

// A glass surface's shadow, drawn from a picture of its rounded shape made once per size and look,
// under the surface. (Qt's own drop shadow blurs the widget's pixels again whenever anything inside it
// redraws, which makes every clock and bar inside a card cost a blur of the whole card.)
class ZorviShadowEffect : public QGraphicsEffect {
public:
    ZorviShadowEffect(double cornerRadius, QObject* parent);

    void setLook(const ZorviGlassLook& look);

protected:
    QRectF boundingRectFor(const QRectF& rect) const override;
    void draw(QPainter* painter) override;

private:
    double cornerRadius_;
    QColor colour_;
    double blur_ = 0;
    double offsetY_ = 0;
    QSizeF shadowSize_;
    QImage shadow_;
};
