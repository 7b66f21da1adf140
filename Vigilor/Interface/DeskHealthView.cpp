#include "DeskHealthView.h"

#include "Vigilor/Design/ZorviControls.h"
#include "Vigilor/Design/ZorviTheme.h"
#include "Vigilor/Interface/ClampedLabel.h"
#include "Vigilor/Interface/DashboardTiles.h"
#include "Vigilor/Interface/SystemTextStyles.h"
#include "Vigilor/Interface/ViewHelpers.h"
#include "Vigilor/Monitor/VigilorMonitor.h"
#include "Vigilor/Monitor/WellnessHistory.h"
#include "ZorviShared/Symbols/ZorviSymbols.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

QColor bandColour(DeskHealthBand band) {
    switch (band) {
    case DeskHealthBand::strong:
        return Theme::success();
    case DeskHealthBand::onTrack:
        return Theme::notice();
    case DeskHealthBand::building:
        return Theme::warning();
    }
    return Theme::warning();
}

double scoreRingTrim(int64_t score) {
    return std::max(double(score) / 100, 0.001);
}

double componentBarFillWidth(double width, int64_t value) {
    return std::max(width * double(value) / 100, 4.0);
}

DayBarModel dayBar(const DailyWellnessScore& day, bool isToday) {
    if (!day.hasData)
        return {day.day, 4, Theme::hairline()};
    return {day.day, std::max(double(day.score) * dayStripHeight / 100, 6.0),
            withOpacity(bandColour(day.score), isToday ? 1.0 : 0.7)};
}

TrendLook trendLook(DeskHealthTrend trend) {
    switch (trend) {
    case DeskHealthTrend::up:
        return {"arrow.up.right", Theme::success()};
    case DeskHealthTrend::flat:
        return {"arrow.right", SystemColor::secondaryLabel()};
    case DeskHealthTrend::down:
        return {"arrow.down.right", Theme::warning()};
    }
    return {"arrow.right", SystemColor::secondaryLabel()};
}

DeskHealthModel deskHealthModel(const std::optional<DeskHealthSummary>& summary) {
    DeskHealthModel model;
    if (!summary || !summary->hasEnoughData)
        return model;
    const DeskHealthSummary& s = *summary;
    const DailyWellnessScore& today = s.today;
    model.unlocked = true;
    model.score = today.score;
    model.band = deskHealthBand(today.score);
    model.tint = bandColour(model.band);
    if (s.streak.current >= 1)
        model.streak = std::to_string(s.streak.current) + "-day streak";
    model.trend = s.trend;
    // The counts take the plural word for every count, 1 included.
    model.components = {
        {{"Eyes", today.eyeComponent, std::to_string(today.eyeRests) + " rests", Theme::success()},
         {"Move", today.moveComponent, std::to_string(today.walks) + " walks", Theme::notice()},
         {"Follow-through", today.followComponent, "when nudged", Theme::warning()}}};
    for (const DailyWellnessScore& day : s.history)
        model.strip.push_back(dayBar(day, day.day == s.history.back().day));
    model.last7Average = s.last7Average;
    model.last30Average = s.last30Average;
    return model;
}

namespace {

QPainterPath capsule(const QRectF& rect) {
    QPainterPath path;
    const double radius = std::min(rect.width(), rect.height()) / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QVBoxLayout* column(QWidget* owner, int spacing, QMargins margins = {}) {
    auto* layout = new QVBoxLayout(owner);
    layout->setSpacing(spacing);
    layout->setContentsMargins(margins);
    return layout;
}

ClampedLabel* text(const QFont& font, const QColor& colour, const QString& content = {}, int lines = 1) {
    auto* label = new ClampedLabel(font, colour, lines);
    label->setText(content);
    return label;
}

// Today's score in a ring of its band's colour, from 12 o'clock clockwise, over a hairline track.
class ScoreRing : public QWidget {
public:
    static constexpr int side = 116;
    static constexpr double lineWidth = 10;

    ScoreRing() {
        setFixedSize(side, side);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    void set(int64_t score, DeskHealthBand band) {
        score_ = score;
        band_ = band;
        const QString title = qs(std::string(::title(band)));
        setAccessibleName(QStringLiteral("Desk health score %1, %2").arg(score).arg(title));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        // The stroke lies inside the widget, so nothing of it is cut.
        const QRectF circle =
            QRectF(rect()).adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2);
        painter.setPen(QPen(Theme::hairline(), lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        painter.drawEllipse(circle);
        const QColor colour = bandColour(band_);
        painter.setPen(QPen(colour, lineWidth, Qt::SolidLine, Qt::RoundCap));
        const double trim = std::min(scoreRingTrim(score_), 1.0);
        if (trim >= 1)
            painter.drawEllipse(circle);
        else
            painter.drawArc(circle, 90 * 16, -std::max(1, int(std::lround(trim * 360 * 16))));

        const QFont number = zorviFont(34, QFont::Bold);
        const QFont word = zorviFont(10, QFont::DemiBold);
        const double numberHeight = QFontMetricsF(number).height(), wordHeight = QFontMetricsF(word).height();
        const double top = (height() - numberHeight - wordHeight) / 2;
        painter.setFont(number);
        painter.setPen(SystemColor::primaryLabel());
        painter.drawText(QRectF(0, top, width(), numberHeight), Qt::AlignCenter, QString::number(score_));
        painter.setFont(word);
        painter.setPen(colour);
        painter.drawText(QRectF(0, top + numberHeight, width(), wordHeight), Qt::AlignCenter,
                         qs(std::string(::title(band_))).toUpper());
    }

private:
    int64_t score_ = 0;
    DeskHealthBand band_ = DeskHealthBand::building;
};

class TrendGlyph : public QWidget {
public:
    TrendGlyph() { setFixedSize(14, 14); }
    void set(DeskHealthTrend trend) {
        look_ = trendLook(trend);
        setAccessibleName(QStringLiteral("Trend ") + qs(std::string(rawValue(trend))));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        ZorviSymbols::draw(painter, look_.systemImage, QRectF(rect()), look_.colour);
    }

private:
    TrendLook look_;
};

// A title and detail over a 6-high capsule filled to the value.
class ComponentBar : public QWidget {
public:
    ComponentBar()
        : title_(text(systemTextStyle(TextStyle::caption, QFont::DemiBold), SystemColor::primaryLabel()))
        , detail_(text(zorviMicro(), SystemColor::secondaryLabel())) {
        auto* layout = column(this, 0, {0, 0, 0, 3 + 6}); // the bar is painted in the bottom margin
        auto* row = new QHBoxLayout;
        row->setSpacing(6);
        row->addWidget(title_);
        row->addStretch(1);
        row->addWidget(detail_);
        layout->addLayout(row);
    }
    void set(const ComponentBarModel& m) {
        model_ = m;
        title_->setText(qs(m.title));
        detail_->setText(qs(m.detail));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bar(0, height() - 6, width(), 6);
        painter.fillPath(capsule(bar), Theme::hairline());
        painter.fillPath(
            capsule(QRectF(bar.topLeft(), QSizeF(componentBarFillWidth(bar.width(), model_.value), 6))),
            model_.tint);
    }

private:
    ComponentBarModel model_;
    ClampedLabel* title_;
    ClampedLabel* detail_;
};

// One capsule per day, oldest at the left, in equal shares of the width, on a 48-high floor.
class DayBarStrip : public QWidget {
public:
    static constexpr double spacing = 3;

    DayBarStrip() {
        auto* layout = column(this, 0, {0, int(dayStripHeight) + 5, 0, 0}); // the bars are painted above
        auto* captions = new QHBoxLayout;
        captions->addWidget(text(zorviMicro(), SystemColor::secondaryLabel(), QStringLiteral("30 days ago")));
        captions->addStretch(1);
        captions->addWidget(text(zorviMicro(), SystemColor::secondaryLabel(), QStringLiteral("Today")));
        layout->addLayout(captions);
        setAccessibleName(QStringLiteral("30-day desk health history"));
    }
    void set(const std::vector<DayBarModel>& bars) {
        bars_ = bars;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (bars_.empty())
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double n = double(bars_.size());
        const double barWidth = (width() - spacing * (n - 1)) / n;
        for (size_t i = 0; i < bars_.size(); ++i) {
            const DayBarModel& bar = bars_[i];
            const double x = double(i) * (barWidth + spacing);
            painter.fillPath(capsule(QRectF(x, dayStripHeight - bar.height, barWidth, bar.height)), bar.fill);
        }
    }

private:
    std::vector<DayBarModel> bars_;
};

class AverageStat : public QWidget {
public:
    explicit AverageStat(const QString& label)
        : value_(text(systemTextStyle(TextStyle::title3, QFont::DemiBold), SystemColor::primaryLabel())) {
        auto* layout = column(this, 1);
        layout->addWidget(text(zorviMicro(), SystemColor::secondaryLabel(), label.toUpper()));
        layout->addWidget(value_);
    }
    void set(int64_t value) { value_->setText(QString::number(value)); }

private:
    ClampedLabel* value_;
};

} // namespace

class DeskHealthParts {
public:
    DeskHealthParts();

    QWidget* unlocked = new QWidget;
    QWidget* warmingUp = new QWidget;
    SymbolLabel* streak;
    TrendGlyph* trend = new TrendGlyph;
    ScoreRing* ring = new ScoreRing;
    std::array<ComponentBar*, 3> components{new ComponentBar, new ComponentBar, new ComponentBar};
    DayBarStrip* strip = new DayBarStrip;
    AverageStat* last7 = new AverageStat(QStringLiteral("7-day"));
    AverageStat* last30 = new AverageStat(QStringLiteral("30-day"));
    ZorviGlassButton* share;
};

DeskHealthParts::DeskHealthParts()
    : streak(new SymbolLabel("flame.fill", {}, systemTextStyle(TextStyle::caption, QFont::DemiBold),
                             Theme::warning()))
    , share(new ZorviGlassButton(QStringLiteral("Share week"), "square.and.arrow.up", false)) {
    const QFont headline = systemTextStyle(TextStyle::headline);
    auto* card = column(unlocked, 14, {16, 16, 16, 16});
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(new SymbolLabel("chart.line.uptrend.xyaxis", QStringLiteral("Desk Health"), headline,
                                      SystemColor::primaryLabel()));
    header->addStretch(1);
    header->addWidget(streak);
    header->addWidget(trend);
    card->addLayout(header);

    auto* scoreRow = new QHBoxLayout;
    scoreRow->setSpacing(18);
    scoreRow->addWidget(ring, 0, Qt::AlignVCenter);
    auto* bars = new QVBoxLayout;
    bars->setSpacing(9);
    bars->addStretch(1);
    for (ComponentBar* bar : components)
        bars->addWidget(bar);
    bars->addStretch(1);
    scoreRow->addLayout(bars, 1);
    card->addLayout(scoreRow);
    card->addWidget(hairlineDivider());
    card->addWidget(strip);

    auto* footer = new QHBoxLayout;
    footer->setSpacing(14);
    footer->addWidget(last7);
    footer->addWidget(last30);
    footer->addStretch(1);
    share->setFont(zorviControl());
    zorviPointingHandCursor(*share, true);
    footer->addWidget(share, 0, Qt::AlignVCenter);
    card->addLayout(footer);

    auto* warming = column(warmingUp, 8, {16, 16, 16, 16});
    warming->addWidget(new SymbolLabel("chart.line.uptrend.xyaxis", QStringLiteral("Desk Health"), headline,
                                       SystemColor::primaryLabel()));
    warming->addWidget(text(systemTextStyle(TextStyle::callout), SystemColor::secondaryLabel(),
                            QStringLiteral("Your score builds as Zorvi sees your days. Take an eye rest or a "
                                           "walk and the trend starts here."),
                            8));
}

DeskHealthPanel::DeskHealthPanel(std::shared_ptr<VigilorMonitor> monitor, ShareWeek share, QWidget* parent)
    : ZorviGlassSurface(ZorviGlassDepth::panel, 20, std::nullopt, false, parent)
    , monitor_(std::move(monitor))
    , share_(std::move(share))
    , parts_(std::make_unique<DeskHealthParts>()) {
    auto* group = column(this, 0);
    group->addWidget(parts_->unlocked);
    group->addWidget(parts_->warmingUp);
    connect(parts_->share, &QAbstractButton::clicked, this, [this] {
        if (summary_ && share_)
            share_(*summary_);
    });
    refresh();
}

DeskHealthPanel::~DeskHealthPanel() = default;

void DeskHealthPanel::refresh() {
    summary_ = monitor_->wellnessHistory().deskHealth();
    model_ = deskHealthModel(summary_);
    DeskHealthParts& p = *parts_;
    p.unlocked->setVisible(model_.unlocked);
    p.warmingUp->setVisible(!model_.unlocked);
    if (!model_.unlocked)
        return;
    p.streak->setVisible(model_.streak.has_value());
    p.streak->setText(qs(model_.streak.value_or("")));
    p.trend->set(model_.trend);
    p.ring->set(model_.score, model_.band);
    for (size_t i = 0; i < p.components.size(); ++i)
        p.components[i]->set(model_.components[i]);
    p.strip->set(model_.strip);
    p.last7->set(model_.last7Average);
    p.last30->set(model_.last30Average);
}

QWidget* DeskHealthPanel::unlockedCard() const {
    return parts_->unlocked;
}
QWidget* DeskHealthPanel::warmingUpCard() const {
    return parts_->warmingUp;
}
QAbstractButton* DeskHealthPanel::shareButton() const {
    return parts_->share;
}
