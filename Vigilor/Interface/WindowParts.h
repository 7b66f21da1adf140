#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

#include <optional>
#include <string>

class QLabel;
class QScrollArea;
class QVariantAnimation;

// Small parts shared by the windows and the menu panel.

// A symbol in its colour, centred in a square; with `circle`, on a filled circle (the symbol's colour
// at 0.12 opacity unless a fill is given): the icon tiles and wells of every window.
class SymbolTile : public QWidget {
public:
    SymbolTile(std::string symbol, double diameter, double symbolSize, bool circle,
               QWidget* parent = nullptr);

    void setSymbol(const std::string& symbol, const QColor& colour);
    void setSymbol(const std::string& symbol, const QColor& colour, const QColor& fill);
    void setColour(const QColor& colour);
    const QColor& colour() const { return colour_; }
    const std::string& symbol() const { return symbol_; }
    // Swells the symbol once and lets it settle, unless motion is reduced or the tile is hidden.
    void pulse();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string symbol_;
    double symbolSize_;
    bool circle_;
    QColor colour_;
    std::optional<QColor> fill_;
    double scale_ = 1;
    QVariantAnimation* pulse_ = nullptr; // made at the first pulse
};

// A plain-text label in `font` and `colour`.
QLabel* plainLabel(const std::string& text, const QFont& font, const QColor& colour);

// A page that scrolls `content` up and down, with no frame or background of its own nor any painted
// behind the content (what lies behind the page shows), the content as wide as the page; its vertical
// bar as `vertical` says.
QScrollArea* plainScrollArea(QWidget* content, Qt::ScrollBarPolicy vertical);
