#include "MovementCard.h"

#include "Vigilor/Config/VigilorConfig.h"
#include "Vigilor/Design/ZorviAccessibility.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/DashboardTiles.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Monitor/BreakCoach.h"
#include "Vigilor/Monitor/CameraPresence.h"
#include "Vigilor/Monitor/CoachingSummaries.h"
#include "Vigilor/Monitor/DurationText.h"
#include "Vigilor/Monitor/StatusSummaries.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

StatePillModel pill(std::string title, std::string value, std::string detail, QColor tint) {
    return {std::move(title), std::move(value), std::move(detail), std::move(tint)};
}

QFont elapsedFont(double scale = 1) {
    return zorviFont(int(std::lround(33 * scale)), QFont::DemiBold);
}

} // namespace

MovementCardModel movementCardModel(const VigilorMonitor& m, Date now, const QColor& movementTint,
                                    const QColor& postureTint, const QColor& poseTint) {
    const CoachingSummaries& coaching = m.coachingSummaries();
    const StatusSummaries& status = m.statusSummaries();
    MovementCardModel model;
    const bool walksOn = m.config().walkBreakEnabled;
    // The remaining figure is the largest finite double while walks are off: never shown as a clock.
    const double remaining = walksOn ? coaching.walkBreakRemaining() : 0;
    model.walkDue = walksOn && remaining <= 0;
    const std::string walkClock =
        !walksOn ? "--:--" : (model.walkDue ? "00:00" : formatMinuteSecondClock(remaining));
    const double sitting = std::max(now.timeIntervalSince(m.breakCoach().lastWalkBreakAt()), 0.0);

    model.state = model.walkDue ? "Walk due" : "At desk";
    const std::optional<std::string> blind = status.blindCameraWord();
    model.presenceLine = m.cameraPresence().facePresent() ? "Sitting timer updates live"
                         : blind                          ? status.cameraStatus()
                                                          : "Away from desk";
    model.capsule = model.walkDue ? "Due" : "Walk in";
    model.movementTint = movementTint;
    model.face = {formatMinuteSecondClock(sitting),
                  walkClock,
                  coaching.movementElapsedHourNote(),
                  std::clamp(std::fmod(sitting, 60.0) / 60, 0.0, 1.0),
                  coaching.movementMinutesProgress(),
                  model.walkDue,
                  movementTint};
    model.posture = pill("Posture", coaching.postureSummary(), coaching.postureDetail(), postureTint);
    model.desk = pill("Desk", coaching.deskPoseSummary(), coaching.deskFrameDetail(), poseTint);
    // The body's words are the last frame's; a camera that takes no pictures names itself.
    const BodyPoseWords body = bodyPoseWords(m.cameraPresence().bodyPose());
    model.cameraFrame = blind ? pill("Camera frame", *blind, status.cameraStatus(), Theme::warning())
                              : pill("Camera frame", body.bodyPoseSummary, body.bodyPoseDetail,
                                     Theme::colorForLevel(body.bodyPoseLevel));
    model.accessibilityLabel =
        model.walkDue ? "Movement: walk due" : "Movement: at desk, walk in " + walkClock;
    return model;
}

std::vector<DialTick> dialHourTicks() {
    std::vector<DialTick> ticks;
    for (int i = 0; i < 12; ++i)
        ticks.push_back({i * 30.0, 2, i == 0 ? 10.0 : 6.0, i == 0 ? 0.22 : 0.1, 77});
    return ticks;
}

std::vector<DialTick> dialMinuteTicks() {
    std::vector<DialTick> ticks;
    for (int i = 0; i < 60; ++i)
        ticks.push_back({i * 6.0, 1, i == 0 ? 6.0 : 3.0, i == 0 ? 0.14 : 0.055, 62});
    return ticks;
}

namespace {

// A ring fraction that glides to each new value over a fixed time. The small step of each of the
// monitor's ticks is drawn at once: every frame of a glide redraws the card's glass around the dial,
// which costs far more than the step is worth to the eye.
class RingGlide : public QVariantAnimation {
public:
    RingGlide(QWidget& owner, int milliseconds, QEasingCurve curve)
        : owner_(owner) {
        setDuration(milliseconds);
        setEasingCurve(curve);
        connect(this, &QVariantAnimation::valueChanged, &owner, [this](const QVariant& v) {
            shown_ = v.toDouble();
            owner_.update();
        });
    }
    void moveTo(double target) {
        if (target == target_)
            return;
        target_ = target;
        stop();
        if (!owner_.isVisible() || std::abs(target - shown_) < MovementDial::smallestGlide) {
            shown_ = target;
            return;
        }
        setStartValue(shown_);
        setEndValue(target);
        start();
    }
    double shown() const { return shown_; }

private:
    QWidget& owner_;
    double target_ = -1;
    double shown_ = 0;
};

} // namespace

class MovementDialView : public QWidget {
public:
    MovementDialView()
        : minutes_(*this, MovementDial::minutesAnimationMilliseconds, QEasingCurve::InOutQuad)
        , seconds_(*this, MovementDial::secondsAnimationMilliseconds, QEasingCurve::Linear) {
        setFixedSize(int(MovementDial::side), int(MovementDial::side));
    }
    void setInputs(const MovementWatchFaceInputs& in) {
        in_ = in;
        minutes_.moveTo(std::clamp(in.minutesProgress, 0.0, 1.0));
        seconds_.moveTo(std::clamp(in.secondsProgress, 0.0, 1.0));
        update();
    }
    double shownMinutes() const { return minutes_.shown(); }
    double shownSeconds() const { return seconds_.shown(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre = QRectF(rect()).center();
        QLinearGradient face(0, 0, width(), height());
        face.setColorAt(0, withOpacity(QGuiApplication::palette().color(QPalette::Base), 0.92));
        face.setColorAt(1, withOpacity(SystemColor::secondaryLabel(), 0.08));
        painter.setPen(Qt::NoPen);
        painter.setBrush(face);
        painter.drawEllipse(QRectF(rect()));
        paintRing(painter, centre, MovementDial::outerDiameter, MovementDial::outerLineWidth, 0.13,
                  minutes_.shown(), in_.tint);
        paintRing(painter, centre, MovementDial::innerDiameter, MovementDial::innerLineWidth, 0.11,
                  seconds_.shown(), withOpacity(in_.tint, in_.isDue ? 1 : 0.72));
        for (const auto& ticks : {dialHourTicks(), dialMinuteTicks()})
            for (const DialTick& t : ticks)
                paintTick(painter, centre, t);
        paintCaptions(painter, centre);
    }

private:
    static void paintRing(QPainter& painter, QPointF centre, double diameter, double lineWidth,
                          double trackOpacity, double fraction, const QColor& colour) {
        const QRectF circle(centre.x() - diameter / 2, centre.y() - diameter / 2, diameter, diameter);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(withOpacity(SystemColor::secondaryLabel(), trackOpacity), lineWidth,
                            Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        painter.drawEllipse(circle);
        if (fraction <= 0)
            return;
        painter.setPen(QPen(colour, lineWidth, Qt::SolidLine, Qt::RoundCap));
        // From 12 o'clock, clockwise (Qt's angles run counter-clockwise, in sixteenths of a degree).
        painter.drawArc(circle, 90 * 16, -int(std::lround(fraction * 360 * 16)));
    }

    static void paintTick(QPainter& painter, QPointF centre, const DialTick& t) {
        painter.save();
        painter.translate(centre);
        painter.rotate(t.angle);
        QPainterPath mark;
        const QRectF box(-t.width / 2, -t.distance - t.height / 2, t.width, t.height);
        mark.addRoundedRect(box, t.width / 2, t.width / 2);
        painter.fillPath(mark, withOpacity(SystemColor::primaryLabel(), t.opacity));
        painter.restore();
    }

    void paintCaptions(QPainter& painter, QPointF centre) const {
        const QString clock = qs(in_.elapsedClock);
        QFont big = elapsedFont();
        if (QFontMetricsF(big).horizontalAdvance(clock) > MovementDial::innerDiameter - 24)
            big = elapsedFont(0.85);
        const QString note = in_.hourNote.empty() ? QStringLiteral("min : sec") : qs(in_.hourNote);
        const QFontMetricsF micro(zorviMicro()), large(big);
        const double total = micro.height() * 2 + large.height() + 2 * 3;
        double y = centre.y() - total / 2;
        const auto line = [&](const QString& text, const QFont& font, const QColor& colour, double h) {
            painter.setFont(font);
            painter.setPen(colour);
            painter.drawText(QRectF(centre.x() - 60, y, 120, h), Qt::AlignCenter, text);
            y += h + 3;
        };
        line(QStringLiteral("AT DESK"), zorviMicro(), SystemColor::secondaryLabel(), micro.height());
        line(clock, big, SystemColor::primaryLabel(), large.height());
        line(note, zorviMicro(), SystemColor::secondaryLabel(), micro.height());
    }

    MovementWatchFaceInputs in_;
    RingGlide minutes_;
    RingGlide seconds_;
};

// The walk or chair symbol on a small glass control at the dial's lower right. It pulses each time
// the walk becomes due or stops being due: over and over, or once when the user reduces motion.
class DialBadge : public QWidget {
public:
    static constexpr int side = 32;

    explicit DialBadge(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(side, side);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        pulse_.setDuration(1000);
        pulse_.setKeyValueAt(0, 1.0);
        pulse_.setKeyValueAt(0.5, 0.35);
        pulse_.setKeyValueAt(1, 1.0);
        connect(&pulse_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            opacity_ = v.toDouble();
            update();
        });
    }
    void set(bool isDue, const QColor& tint) {
        const bool changed = shown_ && isDue != isDue_;
        shown_ = true;
        isDue_ = isDue;
        tint_ = tint;
        if (changed) {
            pulse_.stop();
            pulse_.setLoopCount(ZorviAccessibility::shared().reduceMotion() ? 1 : -1);
            if (isVisible())
                pulse_.start();
        }
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintZorviGlass(painter, QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 16, ZorviGlassDepth::control,
                        ZorviAccessibility::shared().reduceTransparency());
        painter.setOpacity(opacity_);
        ZorviSymbols::draw(painter, isDue_ ? "figure.walk.motion" : "chair", QRectF(8.5, 8.5, 15, 15), tint_);
    }
    // A hidden badge costs nothing: its pulse waits until the window shows again.
    void hideEvent(QHideEvent*) override {
        if (pulse_.state() == QAbstractAnimation::Running)
            pulse_.pause();
    }
    void showEvent(QShowEvent*) override {
        if (pulse_.state() == QAbstractAnimation::Paused)
            pulse_.resume();
    }

private:
    QVariantAnimation pulse_;
    bool shown_ = false;
    bool isDue_ = false;
    QColor tint_;
    double opacity_ = 1;
};

class TintDot : public QWidget {
public:
    TintDot() { setFixedSize(6, 6); }
    void setTint(const QColor& tint) {
        tint_ = tint;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(tint_);
        painter.drawEllipse(QRectF(rect()));
    }

private:
    QColor tint_;
};

class DialLegendDot : public QWidget {
public:
    DialLegendDot(const QString& label)
        : dot_(new TintDot) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(5);
        auto* text = new ClampedLabel(zorviMicro(), SystemColor::secondaryLabel(), 1);
        text->setText(label);
        layout->addWidget(dot_, 0, Qt::AlignVCenter);
        layout->addWidget(text);
    }
    void setTint(const QColor& tint) { dot_->setTint(tint); }

private:
    TintDot* dot_;
};

MovementWatchFace::MovementWatchFace(QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::control, 16, std::nullopt, false, parent)
    , dial_(new MovementDialView)
    , badge_(new DialBadge(dial_))
    , legend_{new DialLegendDot(QStringLiteral("Seconds")), new DialLegendDot(QStringLiteral("Minutes"))}
    , stateLine_(new CapsuleText(zorviControl(), 12, 7, false)) {
    badge_->move(dial_->width() - DialBadge::side, dial_->height() - DialBadge::side);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(12);
    column->addWidget(dial_, 0, Qt::AlignHCenter);
    auto* legend = new QHBoxLayout;
    legend->setSpacing(8);
    legend->addStretch(1);
    for (DialLegendDot* dot : legend_)
        legend->addWidget(dot);
    legend->addStretch(1);
    column->addLayout(legend);
    column->addWidget(stateLine_, 0, Qt::AlignHCenter);
}

void MovementWatchFace::setInputs(const MovementWatchFaceInputs& in) {
    inputs_ = in;
    dial_->setInputs(in);
    badge_->set(in.isDue, in.tint);
    legend_[0]->setTint(withOpacity(in.tint, 0.72));
    legend_[1]->setTint(in.tint);
    stateLine_->setText(
        in.isDue ? QStringLiteral("Due now") : QStringLiteral("Walk in ") + qs(in.remainingClock), in.tint);
}

double MovementWatchFace::shownMinutes() const {
    return dial_->shownMinutes();
}
double MovementWatchFace::shownSeconds() const {
    return dial_->shownSeconds();
}
QWidget* MovementWatchFace::badge() const {
    return badge_;
}
QWidget* MovementWatchFace::dial() const {
    return dial_;
}

StatePill::StatePill(QWidget* parent)
    : QWidget(parent)
    , title_(new ClampedLabel(zorviMicro(), SystemColor::secondaryLabel(), 1))
    , dot_(new TintDot)
    , value_(new ClampedLabel(zorviControl(), SystemColor::primaryLabel(), 1))
    , detail_(new ClampedLabel(zorviCaption(), SystemColor::secondaryLabel(), 1)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 8, 10, 8);
    column->setSpacing(3);
    column->addWidget(title_);
    auto* valueRow = new QHBoxLayout;
    valueRow->setSpacing(5);
    valueRow->addWidget(dot_, 0, Qt::AlignVCenter);
    valueRow->addWidget(value_, 1);
    column->addLayout(valueRow);
    column->addWidget(detail_);
}

void StatePill::setModel(const StatePillModel& m) {
    model_ = m;
    title_->setText(qs(m.title).toUpper());
    dot_->setTint(m.tint);
    value_->setText(qs(m.value));
    detail_->setText(qs(m.detail));
}

void StatePill::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(shape, withOpacity(SystemColor::secondaryLabel(), 0.08));
}

MovementCard::MovementCard(QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::panel, 16, std::nullopt, false, parent)
    , state_(new ClampedLabel(zorviSubtitle(), SystemColor::primaryLabel(), 1))
    , presence_(new ClampedLabel(zorviCaption(), SystemColor::secondaryLabel(), 1))
    , capsule_(new CapsuleText(zorviMicro(), 9, 5, true))
    , face_(new MovementWatchFace)
    , posture_(new StatePill)
    , desk_(new StatePill)
    , cameraFrame_(new StatePill) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(16);
    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    auto* caption = new ClampedLabel(zorviCaption(), SystemColor::secondaryLabel(), 1);
    caption->setText(QStringLiteral("Movement"));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(5);
    for (QWidget* text :
         {static_cast<QWidget*>(caption), static_cast<QWidget*>(state_), static_cast<QWidget*>(presence_)})
        texts->addWidget(text);
    header->addLayout(texts, 1);
    header->addWidget(capsule_, 0, Qt::AlignTop);
    column->addLayout(header);
    column->addWidget(face_);
    column->addWidget(hairlineDivider());
    auto* pills = new QHBoxLayout;
    pills->setSpacing(8);
    pills->addWidget(posture_, 1);
    pills->addWidget(desk_, 1);
    column->addLayout(pills);
    column->addWidget(cameraFrame_);
}

void MovementCard::setModel(const MovementCardModel& m) {
    model_ = m;
    state_->setText(qs(m.state));
    presence_->setText(qs(m.presenceLine));
    capsule_->setText(qs(m.capsule), m.movementTint);
    face_->setInputs(m.face);
    posture_->setModel(m.posture);
    desk_->setModel(m.desk);
    cameraFrame_->setModel(m.cameraFrame);
    setAccessibleName(qs(m.accessibilityLabel));
}
