#pragma once

#include <QColor>
#include <QPainter>
#include <QWidget>

#include <string>

// The compact, static emblem of the presence state: a tinted round face with two eyes, a mouth, an arc
// for the watch or phone signal, pause bars while paused and a state badge at its lower right. It is a
// pure function of five flags, the words for why it is blocked, and its size; every length is a
// fraction of that size.
class PresenceMarkView : public QWidget {
public:
    struct State {
        bool facePresent = false;
        bool watchPresent = false;
        bool isLookingAway = false;
        bool isPaused = false;
        bool isBlocked = false; // the monitor's phase is blocked
        std::string blockedReason = "permission needed"; // why, in the words after "blocked; "
    };

    // The first row of the mark's table that holds: its tint, the words for the state (in the
    // accessible name after "Zorvi ") and the badge's symbol.
    struct Look {
        QColor markColor;
        std::string stateDescription;
        std::string stateSymbol;
    };
    static Look look(const State& state);

    // Draws the mark into the square `area`.
    static void paint(QPainter& painter, const QRectF& area, const State& state);

    PresenceMarkView(bool facePresent, bool watchPresent, bool isLookingAway, bool isPaused, bool isBlocked,
                     double size, QWidget* parent = nullptr);

    const State& state() const { return state_; }
    void setState(const State& state);
    double markSize() const { return size_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    State state_;
    double size_;
};
