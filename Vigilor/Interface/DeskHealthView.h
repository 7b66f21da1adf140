#pragma once

#include "Vigilor/Design/ZorviGlass.h"
#include "Vigilor/Monitor/WellnessScore.h"

#include <QColor>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class VigilorMonitor;
class QAbstractButton;
class DeskHealthParts;

// The desk-health section of the dashboard: today's score in a ring with its band, the trend, the
// streak, today's three component scores, a 30-day strip, the two averages and the "Share week"
// button; or, until two days hold data, a short warming-up card.

// The one mapping from a band to its colour: strong success, on track notice, building warning.
QColor bandColour(DeskHealthBand band);
inline QColor bandColour(int64_t score) {
    return bandColour(deskHealthBand(score));
}

// The ring's arc ends here: a score of 0 still draws a dot at the top.
double scoreRingTrim(int64_t score);
// The coloured part of a component bar `width` wide: never narrower than 4.
double componentBarFillWidth(double width, int64_t value);

struct ComponentBarModel {
    std::string title;
    int64_t value = 0;
    std::string detail;
    QColor tint;

    bool operator==(const ComponentBarModel&) const = default;
};

// One day of the strip: 48 high at a score of 100, at least 6 with data, 4 without.
struct DayBarModel {
    Date day;
    double height = 0;
    QColor fill; // opacity included
    bool operator==(const DayBarModel&) const = default;
};
inline constexpr double dayStripHeight = 48;
DayBarModel dayBar(const DailyWellnessScore& day, bool isToday);

struct TrendLook {
    std::string systemImage;
    QColor colour;
};
TrendLook trendLook(DeskHealthTrend trend);

struct DeskHealthModel {
    bool unlocked = false; // false: the warming-up card
    int64_t score = 0;
    DeskHealthBand band = DeskHealthBand::building;
    QColor tint;                       // the band colour of today's score
    std::optional<std::string> streak; // "3-day streak", only from one day on
    DeskHealthTrend trend = DeskHealthTrend::flat;
    std::array<ComponentBarModel, 3> components;
    std::vector<DayBarModel> strip;
    int64_t last7Average = 0;
    int64_t last30Average = 0;
};
DeskHealthModel deskHealthModel(const std::optional<DeskHealthSummary>& summary);

// Renders and hands on the week's card; the panel's button calls it with the summary it shows.
using ShareWeek = std::function<void(const DeskHealthSummary&)>;

// One glass panel whose content is the full summary or the warming-up card (both cards share the
// panel's look, so the panel casts one shadow whichever shows).
class DeskHealthPanel : public ZorviGlassSurface {
public:
    explicit DeskHealthPanel(std::shared_ptr<VigilorMonitor> monitor, ShareWeek share = {},
                             QWidget* parent = nullptr);
    ~DeskHealthPanel() override;
    // Reads the monitor's summary again and shows it.
    void refresh();
    const DeskHealthModel& model() const { return model_; }
    QWidget* unlockedCard() const;
    QWidget* warmingUpCard() const;
    QAbstractButton* shareButton() const;

private:
    std::shared_ptr<VigilorMonitor> monitor_;
    ShareWeek share_;
    DeskHealthModel model_;
    std::optional<DeskHealthSummary> summary_;
    std::unique_ptr<DeskHealthParts> parts_;
};
