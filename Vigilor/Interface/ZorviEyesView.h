#pragma once

#include "Foundation/Clock.h"
#include "Vigilor/Interface/ZorviEyesModel.h"

#include <QTimer>
#include <QWidget>

// The mascot at the top of the menu panel: a round face whose colour, eyes and mouth follow the
// presence flags its caller passes, with at most one badge in its lower right corner. It blinks on
// its own, at the same moments as every other mascot; it redraws only when its eyes change, and its
// blink timer runs only while it is shown.
class ZorviEyesView : public QWidget {
public:
    explicit ZorviEyesView(double size, const Clock& clock = SystemClock::shared(),
                           QWidget* parent = nullptr);

    void setInputs(const ZorviEyesInputs& inputs);
    const ZorviEyesInputs& inputs() const { return inputs_; }
    ZorviMenuIcon::EyeState eyeState() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool reduceMotion() const;
    void scheduleBlink();
    void drawBadge(QPainter& painter, const ZorviEyesBadge& badge) const;

    double size_;
    const Clock& clock_;
    ZorviEyesInputs inputs_;
    QTimer blinkTimer_;
};
