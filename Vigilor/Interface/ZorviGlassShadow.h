#pragma once

#include <QImage>
#include <QWidget>

class ZorviGlassSurface;

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
