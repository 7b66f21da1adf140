#pragma once

#include "Foundation/Clock.h"
#include "Vigilor/Interface/DeskHealthView.h"
#include "Vigilor/Interface/StatusWindowModel.h"

#include <QWidget>

#include <memory>

class VigilorMonitor;
class DashboardParts;
class MovementCard;
class QScrollArea;

// The dashboard window's content: one scrolling column of everything the monitor knows, top to bottom
// the status hero, desk health, the phone's recovery figures, movement, the privacy promise, the
// meters, the health and walk rhythm, the raw signals, the lock activity, the reason a lock is held
// back (when it is) and the action bar. It keeps no figures of its own: on every change the monitor
// announces (one refresh per turn of the event loop, none while hidden) it reads them all again.
class StatusWindowView : public QWidget {
public:
    static constexpr QSize windowSize{560, 620};

    explicit StatusWindowView(std::shared_ptr<VigilorMonitor> monitor,
                              const Clock& clock = SystemClock::shared(), ShareWeek share = {},
                              QWidget* parent = nullptr);
    ~StatusWindowView() override;
    StatusWindowView(const StatusWindowView&) = delete;
    StatusWindowView& operator=(const StatusWindowView&) = delete;

    QSize sizeHint() const override { return windowSize; }

    const StatusWindowModel& model() const { return model_; }
    QScrollArea* scrollArea() const;
    // The column's sections, for tests and pictures: its content widget.
    QWidget* column() const;
    DeskHealthPanel* deskHealth() const;
    MovementCard* movementCard() const;

    void refresh();

private:
    std::shared_ptr<VigilorMonitor> monitor_;
    const Clock& clock_;
    StatusWindowModel model_;
    std::unique_ptr<DashboardParts> parts_;
};
