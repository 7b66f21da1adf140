#pragma once

#include "ZorviShared/ZorviStatusSnapshot.h"

#include <QPainter>
#include <QPointF>
#include <QRectF>

#include <array>
#include <optional>
#include <string>

// The round status dial: a ring, an arc in the status colour whose length tells the status, a white
// disc, and in its middle the status symbol, the status word and (optionally) three presence dots.
struct ZorviDialView {
    std::optional<ZorviStatusSnapshot> status;
    double size = 132; // side of the square dial, in pixels
    bool showsSignals = true;

    // Lengths derived from the size.
    struct Metrics {
        double ringWidth;
        double discDiameter;
        double stackWidth;
        double symbolSize;
        double wordSize;
        double dotSpacing;
        double dotSymbolSize;
        double dotSquare;
    };
    static Metrics metrics(double size);

    // Where the parts sit when the dial's square starts at `origin`.
    struct Layout {
        QRectF square;
        QRectF symbolBox;
        QRectF wordBox;
        std::array<QRectF, 3> dotSquares; // face, watch, input; empty rectangles without signals
    };
    Layout layout(QPointF origin) const;

    // The share of the usable circle the arc covers, from 0 to 1.
    double progress() const;
    // What a screen reader says for the dial: "<device name> <status line in lower case>".
    std::string accessibilityLabel() const;
    // Whether the face, watch and input dots are lit.
    std::array<bool, 3> activeSignals() const;
    // The word under the symbol.
    std::string word() const;

    void paint(QPainter& painter, QPointF origin) const;

private:
    void paintRing(QPainter& painter, const QRectF& square, const Metrics& m) const;
    void paintCentre(QPainter& painter, const Layout& layout, const Metrics& m) const;
    void paintSignalDot(QPainter& painter, const QRectF& square, bool active, const char* systemImage,
                        const Metrics& m) const;
};
