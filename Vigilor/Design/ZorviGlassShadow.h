#pragma once

#include <QImage>
#include <QWidget>

class ZorviGlassSurface;

// The soft shadow of a rounded rectangle `size` big, `blur` wide on every side, in `colour`: the shape
// blurred by three box passes each way, a close stand-in for a Gaussian blur.
QImage blurredRoundedShadow(QSizeF size, double cornerRadius, const QColor& colour, double blur);
// The same picture, blurred only as large as the corners need: the corners of a small rectangle's
// shadow, whose middle row and column the blur no longer tells apart from a longer side, with that
// row and column repeated along the sides. Its cost does not grow with the surface's area.
QImage roundedShadow(QSize size, double cornerRadius, const QColor& colour, double blur);

// A glass surface's soft shadow, drawn by a widget of its own stacked just under the surface among
// its siblings, so that it lies and overlaps exactly as a shadow drawn with the surface would. The
// shadow is a picture of the rounded shape, blurred once per size and look. It is deliberately not a
// graphics effect on the surface: with one, Qt renders the surface and everything inside it again
// whenever any child redraws, so a clock or a moving bar inside a card cost a redraw of the whole card.
// The widget ignores the mouse, is not in any layout, and keeps inside its parent (where any drawing
// of the parent's children is clipped anyway).
class ZorviGlassShadow : public QWidget {
public:
    // Made by `surface` once it has a parent widget, as that parent's child.
    explicit ZorviGlassShadow(ZorviGlassSurface& surface);

    // Takes the surface's parent, place, size, visibility and stacking.
    void follow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect shadowRect() const; // the whole shadow, in the parent's coordinates

    ZorviGlassSurface& surface_;
    QPoint imageOrigin_; // where the picture's top-left corner lies in this widget
    QImage shadow_;
};
