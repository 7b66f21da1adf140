#pragma once

#include "Vigilor/Interface/BreakHUDModel.h"

#include <QWidget>

#include <memory>

class VigilorMonitor;
class BreakHUDParts;

// The content of the floating break prompt. It chooses the eye or the walk prompt from the monitor's
// state by itself, and every button calls an action of the monitor. Its size hint is its fitting
// size; when that changes (the kind changes while shown) it calls updateGeometry().
//
// The prompt is a 240-wide glass card, centred in whatever room the panel gives it.
class BreakHUDView : public QWidget {
public:
    static constexpr int cardWidth = 240;

    explicit BreakHUDView(std::shared_ptr<VigilorMonitor> monitor, QWidget* parent = nullptr);
    ~BreakHUDView() override;

    QSize sizeHint() const override;

    // The glass card that is the whole prompt.
    QWidget* card() const;
    // The model drawn last.
    const BreakHUDModel& model() const { return model_; }

private:
    void refresh();

    std::shared_ptr<VigilorMonitor> monitor_;
    BreakHUDModel model_;
    QSize lastSizeHint_;
    std::unique_ptr<BreakHUDParts> parts_;
};
