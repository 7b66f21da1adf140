#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

#include <string>

class QLabel;

// Small parts of the onboarding and update windows.

// A symbol in its colour, centred in a square, on a filled circle of that colour at 0.12 opacity when
// `circle` is set: the icon tiles of the onboarding and update windows.
class SymbolTile : public QWidget {
public:
    SymbolTile(std::string symbol, double diameter, double symbolSize, bool circle,
               QWidget* parent = nullptr);

    void setSymbol(const std::string& symbol, const QColor& colour);
    void setColour(const QColor& colour);
    const QColor& colour() const { return colour_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::string symbol_;
    double symbolSize_;
    bool circle_;
    QColor colour_;
};

// A plain-text label in `font` and `colour`.
QLabel* plainLabel(const std::string& text, const QFont& font, const QColor& colour);
