#pragma once
// PLACEHOLDER: stands in for the design system until it lands; removed then.
#include "ZorviMacWidget/ZorviSymbols.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <optional>
#include <string_view>

namespace Placeholder {
inline QFont font(double points, QFont::Weight weight) {
    QFont f = QGuiApplication::font();
    f.setPixelSize(int(points));
    f.setWeight(weight);
    return f;
}
inline QFont title() { return font(18, QFont::Bold); }
inline QFont subtitle() { return font(16, QFont::DemiBold); }
inline QFont body() { return font(14, QFont::DemiBold); }
inline QFont control() { return font(13, QFont::DemiBold); }
inline QFont caption() { return font(12, QFont::Medium); }
inline QFont micro() { return font(10, QFont::DemiBold); }
inline QColor primary() { return QGuiApplication::palette().color(QPalette::WindowText); }
inline QColor secondary() { return QGuiApplication::palette().color(QPalette::PlaceholderText); }
inline QColor withAlpha(QColor c, double a) { c.setAlphaF(float(c.alphaF() * a)); return c; }
inline QColor hairline() { return withAlpha(secondary(), 0.1); }
inline QColor iconWell() { return withAlpha(secondary(), 0.1); }
inline QColor toggleOn() { return QColor::fromRgbF(0.24f, 0.72f, 0.42f); }
inline void glass(QPainter& p, QRectF r, double radius, bool panel) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0, 0, 0, panel ? 40 : 25), 0.7));
    p.setBrush(QColor(255, 255, 255, panel ? 200 : 160));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.restore();
}
inline void symbol(QPainter& p, std::string_view name, QRectF box, QColor c) { ZorviSymbols::draw(p, name, box, c); }
inline bool reduceMotion() { return false; }
} // namespace Placeholder

#include <QAbstractButton>
#include <functional>
#include <string>

namespace Placeholder {
class IconActionButton : public QAbstractButton {
public:
    IconActionButton(std::string symbol, QColor tint, QString help, std::function<void()> action)
        : symbol_(std::move(symbol)), tint_(tint) {
        setFixedSize(40, 36);
        setToolTip(help);
        setAccessibleName(help);
        connect(this, &QAbstractButton::clicked, this, [action] { action(); });
    }
    void setLook(std::string symbol, QColor tint, QString help) {
        symbol_ = std::move(symbol);
        tint_ = tint;
        setToolTip(help);
        setAccessibleName(help);
        update();
    }
    const std::string& symbol() const { return symbol_; }
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        glass(p, QRectF(rect()), 8, false);
        Placeholder::symbol(p, symbol_, QRectF(12.5, 10.5, 15, 15), tint_);
    }
private:
    std::string symbol_;
    QColor tint_;
};
class GlassButton : public QAbstractButton {
public:
    GlassButton(QString title, std::string symbol, bool prominent) : symbol_(std::move(symbol)), prominent_(prominent) {
        setText(title);
        setMinimumHeight(34);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override { return {200, 34}; }
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(prominent_ ? QColor(0, 122, 255) : QColor(0, 0, 0, 20));
        p.drawRoundedRect(QRectF(rect()), 8, 8);
        p.setPen(prominent_ ? Qt::white : primary());
        p.setFont(control());
        p.drawText(rect(), Qt::AlignCenter, text());
    }
private:
    std::string symbol_;
    bool prominent_;
};
} // namespace Placeholder
namespace Placeholder {
inline std::string listingWebAddress() { return "https://apps.zorvi.example/zorvi"; }
inline bool openAppStoreReview() { return false; }
} // namespace Placeholder
